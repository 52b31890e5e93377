#include "InstallerTestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace vl::installer::test {

void writeText(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

void writeScript(const fs::path& path, const std::string& body)
{
    writeText(path, body);
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
}

std::string readText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

WorkingFolder::WorkingFolder(const fs::path& folder) : previous_(fs::current_path())
{
    fs::current_path(folder);
}

WorkingFolder::~WorkingFolder()
{
    std::error_code ignored;
    fs::current_path(previous_, ignored);
}

namespace {

std::string shellQuoted(const std::string& text) { return "'" + text + "'"; }
std::string shellQuoted(const fs::path& path) { return shellQuoted(path.string()); }

} // namespace

Sandbox::Sandbox()
{
    fs::create_directories(home);
    fs::create_directories(data);
    context.payloadFolder = payloadFolder;
    context.destination = destination;
    context.applicationsFolder = data / "applications";
    context.whisper.lookup.home = home;
    context.whisper.lookup.dataFolder = data;
    context.whisper.lookup.pathVariable = "";
    // The machine's own Whisper and python3 never take part.
    context.whisper.lookup.fixedCandidates = {root.path() / "system/bin/whisper"};
    context.whisper.lookup.fixedSearchFolders = {};
    context.whisper.pythonCandidates = {};
    context.canWrite = mayWrite;
    context.launch = [](const fs::path&) { return true; };
    context.sharedSuite = &suite;
    context.pause = std::chrono::milliseconds(0);
    setWhichAnswer("");
    setPipMode(PipMode::succeed);
    context.pkexecProgram = pkexecThatExits(1, "pkexec must not run in this test");
}

fs::path Sandbox::fakePython(bool makePip, int exitStatus)
{
    const fs::path pipTemplate = tools / "pip-template";
    writeScript(pipTemplate, "#!/bin/sh\n"
                             "printf '%s\\n' \"$*\" >> " + shellQuoted(tools / "pip-calls") + "\n"
                             "case \"$*\" in *openai-whisper*) ;; *) echo \"Requirement already satisfied: pip\"; exit 0;; esac\n"
                             "mode=$(cat " + shellQuoted(tools / "pip-mode") + ")\n"
                             "if [ \"$mode\" = hang ]; then exec sleep 600; fi\n"
                             "if [ \"$mode\" = fail ]; then echo 'Collecting openai-whisper'; "
                             "echo 'ERROR: Could not find a version that satisfies the requirement openai-whisper (from versions: none)' >&2; "
                             "echo 'ERROR: No matching distribution found for openai-whisper' >&2; exit 1; fi\n"
                             "printf 'Collecting openai-whisper\\r\\n\\r\\n    Downloading openai_whisper-1.tar.gz\\r\\n'\n"
                             "printf '%0300d\\n' 0\n"
                             "echo 'warning on stderr' >&2\n"
                             "printf 'bad \\377\\376 bytes\\n'\n"
                             "printf 'Successfully installed openai-whisper'\n"
                             "if [ \"$mode\" = succeed ]; then\n"
                             "  printf '#!/bin/sh\\nexit 0\\n' > \"$(dirname \"$0\")/whisper\"\n"
                             "  chmod 755 \"$(dirname \"$0\")/whisper\"\n"
                             "fi\n");
    const fs::path python = tools / "python3";
    // Only ever run isolated, as "python3 -I -m venv DIR".
    std::string body = "#!/bin/sh\n"
                       "[ \"$1\" = -I ] && [ \"$2\" = -m ] && [ \"$3\" = venv ] || exit 2\n"
                       "shift\n";
    if (exitStatus != 0)
        body += "echo 'The virtual environment was not created successfully because ensurepip is not available.'\n"
                "exit " + std::to_string(exitStatus) + "\n";
    body += "mkdir -p \"$3/bin\"\n";
    // The environment's python runs pip only as "python -I -m pip", isolated.
    body += "printf '%s\\n' '#!/bin/sh' '[ \"$1\" = -I ] && [ \"$2\" = -m ] && [ \"$3\" = pip ] || exit 2' 'shift 3' "
            "'exec \"$(dirname \"$0\")/pip\" \"$@\"' > \"$3/bin/python\"\n"
            "chmod 755 \"$3/bin/python\"\n";
    if (makePip)
        body += "cp " + shellQuoted(pipTemplate) + " \"$3/bin/pip\"\n";
    writeScript(python, body);
    context.whisper.pythonCandidates = {root.path() / "no/python3", python};
    return python;
}

void Sandbox::setPipMode(PipMode mode)
{
    const char* names[] = {"succeed", "fail", "none", "hang"};
    writeText(tools / "pip-mode", names[static_cast<int>(mode)]);
}

std::vector<std::string> Sandbox::pipCalls() const
{
    std::vector<std::string> calls;
    std::istringstream in(readText(tools / "pip-calls"));
    for (std::string line; std::getline(in, line);)
        calls.push_back(line);
    return calls;
}

void Sandbox::setWhichAnswer(const std::string& answer)
{
    const fs::path which = tools / "which";
    std::string body = "#!/bin/sh\necho ran >> " + shellQuoted(tools / "which-ran") + "\n";
    if (!answer.empty())
        body += "printf '%s\\n' " + shellQuoted(answer) + "\n";
    writeScript(which, body + "exit 0\n");
    std::error_code ignored;
    fs::remove(tools / "which-ran", ignored);
    context.whisper.lookup.whichProgram = which;
}

bool Sandbox::whichRan() const { return whichRuns() > 0; }

int Sandbox::whichRuns() const
{
    const std::string runs = readText(tools / "which-ran");
    return static_cast<int>(std::count(runs.begin(), runs.end(), '\n'));
}

fs::path Sandbox::pkexecThatRuns()
{
    const fs::path pkexec = tools / "pkexec-runs";
    writeScript(pkexec, "#!/bin/sh\nexec \"$@\"\n");
    return pkexec;
}

fs::path Sandbox::pkexecThatExits(int status, const std::string& message)
{
    const fs::path pkexec = tools / ("pkexec-" + std::to_string(status));
    std::string body = "#!/bin/sh\n";
    if (!message.empty())
        body += "printf '%s\\n' " + shellQuoted(message) + " >&2\n";
    writeScript(pkexec, body + "exit " + std::to_string(status) + "\n");
    return pkexec;
}

fs::path Sandbox::makePayload(bool withFonts)
{
    const fs::path app = payloadFolder / "verseloom";
    writeScript(app / "bin/verseloom", "#!/bin/sh\necho verseloom\n");
    writeText(app / "share/applications/pro.quillmarsh.verseloom.desktop",
              "[Desktop Entry]\nType=Application\nName=Verseloom\nExec=verseloom\nTryExec=verseloom\n"
              "Icon=pro.quillmarsh.verseloom\n");
    writeText(app / "share/icons/hicolor/scalable/apps/pro.quillmarsh.verseloom.svg", "<svg/>");
    if (withFonts)
        writeText(app / "share/verseloom/fonts/Anton-Regular.ttf", "font");
    return app;
}

} // namespace vl::installer::test

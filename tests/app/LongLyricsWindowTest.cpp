// The intake screen's lyrics editor never holds more than a project's lyrics may: a
// stored project's long lyrics arrive cut, and what the keyboard or the clipboard would
// add past the limit is turned away before the editor lays it out.

#include "PageWindow.h"

#include "model/LyricsLimit.h"
#include "model/MediaLibrary.h"
#include "model/PipelineError.h"
#include "pipeline/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using namespace vl;
using vl::testing::PageWindow;

namespace {

Project songProject(std::string lyrics)
{
    Project p = ProjectStore::defaultNewProject();
    p.title = "Neon Overpass";
    p.audioPath = "/music/neon-overpass.mp3";
    p.rawLyrics = std::move(lyrics);
    return p;
}

std::string lines(std::size_t bytes)
{
    std::string text;
    for (int line = 1; text.size() < bytes; ++line)
        text += "line " + std::to_string(line) + " of a song that goes on and on\n";
    return text;
}

// Another program's copy: it says how large it is before any of it is handed over.
class OtherProgramsClipboard final : public Clipboard {
public:
    explicit OtherProgramsClipboard(std::size_t bytes) : bytes_(bytes) {}
    std::function<ClipboardText()> textReader(std::size_t maxBytes) const override
    {
        asked.push_back(maxBytes);
        if (bytes_ > maxBytes)
            return [] { return ClipboardText{ClipboardText::Kind::tooLarge, {}}; };
        return [this] {
            ++fetched;
            return ClipboardText{ClipboardText::Kind::text, std::string(bytes_, 'w')};
        };
    }
    long long changeCount() const override { return 0; }
    void clear() override {}

    mutable std::vector<std::size_t> asked;
    mutable int fetched = 0;

private:
    std::size_t bytes_;
};

std::string sentence(PipelineError::Code code) { return std::string(PipelineError::message(code)); }

} // namespace

TEST(LongLyrics, AStoredProjectWithAMegabyteOfLyricsOpensWithTheirFirstLinesAndSaysSo)
{
    PageWindow w(songProject("a short song"));
    ASSERT_NE(w.window, nullptr);
    const Project stored = songProject(lines(1 << 20));
    ProjectLibrary(w.h.projectsRoot(), w.h.settings).save(stored);

    w.store->openProject(stored.id);
    w.settle();
    EXPECT_EQ(w.text("capsuleText").toStdString(), sentence(PipelineError::lyricsCutOnOpen));

    w.select(PipelineStage::intake);
    QQuickItem* editor = w.item("lyricsEditor");
    ASSERT_NE(editor, nullptr);
    const QString shown = editor->property("text").toString();
    EXPECT_LE(static_cast<std::size_t>(shown.toUtf8().size()), kMaxLyricsBytes);
    EXPECT_GT(static_cast<std::size_t>(shown.size()), kMaxLyricsBytes - 100);
    EXPECT_TRUE(stored.rawLyrics.starts_with(shown.toStdString()));
}

TEST(LongLyrics, TheEditorTurnsAwayWhatWouldTakeTheLyricsPastTheLimit)
{
    const std::string full(kMaxLyricsBytes, 'a');
    PageWindow w(songProject(full));
    ASSERT_NE(w.window, nullptr);
    QQuickItem* editor = w.item("lyricsEditor");
    ASSERT_NE(editor, nullptr);
    const auto shownBytes = [&] { return static_cast<std::size_t>(editor->property("text").toString().toUtf8().size()); };
    ASSERT_EQ(shownBytes(), kMaxLyricsBytes);
    w.window->requestActivate();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.window));
    editor->forceActiveFocus();
    QMetaObject::invokeMethod(editor, "select", Q_ARG(int, 0), Q_ARG(int, 0));

    // At the limit a typed letter goes nowhere; deleting one makes room for it.
    QTest::keyClick(w.window, Qt::Key_X);
    EXPECT_EQ(shownBytes(), kMaxLyricsBytes);
    EXPECT_EQ(w.store->project().rawLyrics, full);
    EXPECT_EQ(w.text("capsuleText").toStdString(), sentence(PipelineError::lyricsTooLong));
    QTest::keyClick(w.window, Qt::Key_Delete);
    QTest::keyClick(w.window, Qt::Key_X);
    EXPECT_EQ(w.store->project().rawLyrics, "x" + full.substr(1));

    // A clipboard of a few hundred kilobytes is not pasted, not even over the whole text;
    // a paste that fits is.
    QMetaObject::invokeMethod(editor, "selectAll");
    QGuiApplication::clipboard()->setText(QString::fromStdString(lines(3 * kMaxLyricsBytes)));
    w.store->setLastError(std::nullopt);
    QTest::keySequence(w.window, QKeySequence::Paste);
    EXPECT_EQ(shownBytes(), kMaxLyricsBytes);
    EXPECT_EQ(w.store->project().rawLyrics, "x" + full.substr(1));
    EXPECT_EQ(w.text("capsuleText").toStdString(), sentence(PipelineError::lyricsTooLong));

    QGuiApplication::clipboard()->setText(QStringLiteral("pasted words"));
    QTest::keySequence(w.window, QKeySequence::Paste);
    EXPECT_EQ(w.store->project().rawLyrics, "pasted words");
    EXPECT_EQ(editor->property("text").toString(), QStringLiteral("pasted words"));
}

TEST(LongLyrics, ACopyTooLargeForTheLyricsIsTurnedAwayByItsSizeWithoutBeingFetched)
{
    OtherProgramsClipboard copy(std::size_t(300) << 20);
    PageWindow w(songProject("a short song"), copy);
    ASSERT_NE(w.window, nullptr);
    QQuickItem* editor = w.item("lyricsEditor");
    ASSERT_NE(editor, nullptr);
    w.window->requestActivate();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.window));
    editor->forceActiveFocus();
    QGuiApplication::clipboard()->clear();

    QTest::keySequence(w.window, QKeySequence::Paste);
    EXPECT_EQ(copy.asked, std::vector<std::size_t>{kMaxLyricsBytes});
    EXPECT_EQ(copy.fetched, 0);
    EXPECT_EQ(w.store->project().rawLyrics, "a short song");
    EXPECT_EQ(w.text("capsuleText").toStdString(), sentence(PipelineError::lyricsTooLong));
}

#include "media/transcription/SpeechTranscriber.h"

#include "media/AudioDecoder.h"
#include "media/transcription/TranscriptionError.h"
#include "model/Cancellation.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <mutex>
#include <string>

#include <pocketsphinx.h>
#include <sphinxbase/err.h>

namespace vl {

namespace fs = std::filesystem;

namespace {

struct ModelFiles {
    fs::path acoustic;
    fs::path languageModel;
    fs::path dictionary;
};

ModelFiles modelFiles(const fs::path& folder)
{
    return {folder / "en-us", folder / "en-us.lm.bin", folder / "cmudict-en-us.dict"};
}

bool modelPresent(const fs::path& folder)
{
    std::error_code error;
    const ModelFiles files = modelFiles(folder);
    return fs::is_regular_file(files.acoustic / "mdef", error) && fs::is_regular_file(files.languageModel, error)
           && fs::is_regular_file(files.dictionary, error);
}

} // namespace

struct SpeechRecognizer::Decoder {
    cmd_ln_t* config = nullptr;
    ps_decoder_t* ps = nullptr;
    int framesPerSecond = 100;
    std::size_t samplesFed = 0;
    std::size_t utteranceStart = 0; // in samples
    bool heardSpeech = false;
    std::vector<TimedChunk> words;

    ~Decoder()
    {
        if (ps)
            ps_free(ps);
        if (config)
            cmd_ln_free_r(config);
    }

    void endUtterance()
    {
        if (ps_end_utt(ps) < 0)
            throw TranscriptionError::failed("The speech recogniser could not finish.");
        // Frame numbers keep counting across utterances from the decoder's first
        // sample (its silence detector keeps the stream's clock), so they are
        // already times within the recording.
        const double frame = 1.0 / framesPerSecond;
        for (ps_seg_t* seg = ps_seg_iter(ps); seg; seg = ps_seg_next(seg)) {
            const char* token = ps_seg_word(seg);
            std::string word = wordForToken(token ? token : "");
            if (word.empty())
                continue;
            int startFrame = 0;
            int endFrame = 0;
            ps_seg_frames(seg, &startFrame, &endFrame);
            // End frames are inclusive: a word active in frames 10..19 ends at 0.2 s.
            words.push_back({std::move(word), startFrame * frame, (endFrame + 1) * frame});
        }
    }

    void startUtterance()
    {
        if (ps_start_utt(ps) < 0)
            throw TranscriptionError::failed("The speech recogniser could not start.");
        utteranceStart = samplesFed;
        heardSpeech = false;
    }
};

SpeechRecognizer::SpeechRecognizer(const fs::path& modelFolder)
    : decoder_(std::make_unique<Decoder>())
{
    // PocketSphinx logs every model detail to standard error; we want none of it.
    static std::once_flag quiet;
    std::call_once(quiet, [] { err_set_logfp(nullptr); });

    if (!modelPresent(modelFolder))
        throw TranscriptionError::noEngineAvailable();
    const ModelFiles files = modelFiles(modelFolder);
    decoder_->config = cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", files.acoustic.c_str(), "-lm",
                                   files.languageModel.c_str(), "-dict", files.dictionary.c_str(), nullptr);
    if (!decoder_->config)
        throw TranscriptionError::noEngineAvailable();
    decoder_->ps = ps_init(decoder_->config);
    if (!decoder_->ps)
        throw TranscriptionError::noEngineAvailable();
    decoder_->framesPerSecond = cmd_ln_int32_r(decoder_->config, "-frate");
    if (decoder_->framesPerSecond <= 0)
        decoder_->framesPerSecond = 100;
    decoder_->startUtterance();
}

SpeechRecognizer::~SpeechRecognizer() = default;

void SpeechRecognizer::feed(std::span<const std::int16_t> samples)
{
    // A whole song as one utterance makes the final search pass long (seconds,
    // with no way to stop it) and memory grow with the song. So each pause the
    // recogniser hears closes an utterance, and a long stretch without one is
    // cut anyway.
    constexpr std::size_t piece = sampleRate / 10;
    constexpr std::size_t longestUtterance = std::size_t{30} * sampleRate;
    Decoder& d = *decoder_;
    while (!samples.empty()) {
        const std::size_t n = std::min(samples.size(), piece);
        if (ps_process_raw(d.ps, samples.data(), n, FALSE, FALSE) < 0)
            throw TranscriptionError::failed("The speech recogniser could not read the audio.");
        d.samplesFed += n;
        samples = samples.subspan(n);
        const bool inSpeech = ps_get_in_speech(d.ps) != 0;
        d.heardSpeech = d.heardSpeech || inSpeech;
        if ((d.heardSpeech && !inSpeech) || d.samplesFed - d.utteranceStart >= longestUtterance) {
            d.endUtterance();
            d.startUtterance();
        }
    }
}

std::vector<TimedChunk> SpeechRecognizer::finish()
{
    decoder_->endUtterance();
    return std::move(decoder_->words);
}

std::string SpeechRecognizer::wordForToken(std::string_view token)
{
    if (token.empty() || token == "<s>" || token == "</s>" || token == "<sil>")
        return {};
    if (token.front() == '[' && token.back() == ']')
        return {};
    if (token.size() >= 4 && token.starts_with("++") && token.ends_with("++"))
        return {};
    if (token.back() == ')') {
        const auto open = token.rfind('(');
        if (open != std::string_view::npos && open > 0 && open + 2 < token.size()
            && std::all_of(token.begin() + open + 1, token.end() - 1,
                           [](unsigned char c) { return std::isdigit(c) != 0; }))
            token = token.substr(0, open);
    }
    return std::string(token);
}

// ---------------------------------------------------------------------------

fs::path SpeechTranscriber::defaultModelFolder()
{
    return "/usr/share/pocketsphinx/model/en-us";
}

SpeechTranscriber::SpeechTranscriber(fs::path modelFolder)
    : modelFolder_(std::move(modelFolder))
{
}

bool SpeechTranscriber::isAvailable() const
{
    return modelPresent(modelFolder_);
}

std::vector<TimedChunk> SpeechTranscriber::recognizeWords(const fs::path& audioFile, std::stop_token stop,
                                                          double* duration) const
{
    throwIfCancelled(stop); // before the model load, which takes a while
    SpeechRecognizer recognizer(modelFolder_);
    std::size_t sampleCount = 0;
    decodeAudio(audioFile, SpeechRecognizer::sampleRate, stop, [&](std::span<const std::int16_t> samples) {
        throwIfCancelled(stop);
        recognizer.feed(samples);
        sampleCount += samples.size();
    });
    throwIfCancelled(stop);
    if (duration)
        *duration = static_cast<double>(sampleCount) / SpeechRecognizer::sampleRate;
    return recognizer.finish();
}

TranscriptionResult SpeechTranscriber::transcribe(const fs::path& audioFile, const TranscriptionProgress&,
                                                  std::stop_token stop) const
{
    // Here a missing model plays the part a refused permission plays elsewhere.
    if (!isAvailable())
        throw TranscriptionError::notAuthorized();
    double duration = 0;
    const auto words = repairTimings(recognizeWords(audioFile, stop, &duration), duration);

    TranscriptionResult result;
    for (const auto& word : words) {
        if (!result.text.empty())
            result.text += ' ';
        result.text += word.text;
    }
    result.segments = groupIntoLines(words, wordsPerLine);
    return result;
}

std::vector<TimedChunk> SpeechTranscriber::repairTimings(std::vector<TimedChunk> words, double duration)
{
    const std::size_t n = words.size();
    if (n == 0)
        return words;
    double maxEnd = words.front().end;
    for (const auto& word : words)
        maxEnd = std::max(maxEnd, word.end);
    for (std::size_t i = 0; i + 1 < n; ++i) {
        if (words[i].start + 0.001 < words[i + 1].start) {
            if (maxEnd > 0.05)
                return words;
            break;
        }
    }
    // The recogniser gave no usable times: share the span out evenly.
    const double span = duration > 0.5 ? duration : static_cast<double>(n) * 0.5;
    const double step = span / static_cast<double>(n);
    for (std::size_t i = 0; i < n; ++i) {
        words[i].start = step * static_cast<double>(i);
        words[i].end = step * static_cast<double>(i + 1);
    }
    return words;
}

std::vector<TimedChunk> SpeechTranscriber::groupIntoLines(const std::vector<TimedChunk>& words,
                                                          std::size_t perLine)
{
    perLine = std::max<std::size_t>(perLine, 1);
    std::vector<TimedChunk> lines;
    for (std::size_t first = 0; first < words.size(); first += perLine) {
        const std::size_t last = std::min(first + perLine, words.size()) - 1;
        TimedChunk line{words[first].text, words[first].start, words[last].end};
        for (std::size_t i = first + 1; i <= last; ++i) {
            line.text += ' ';
            line.text += words[i].text;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

} // namespace vl

#include "media/transcription/SpeechTranscriber.h"

#include "media/AudioDecoder.h"
#include "media/transcription/TranscriptionError.h"
#include "model/Cancellation.h"

#include <algorithm>

namespace vl {

namespace fs = std::filesystem;

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
    return SpeechRecognizer::modelPresent(modelFolder_);
}

std::vector<TimedChunk> SpeechTranscriber::recognizeWords(const fs::path& audioFile, std::stop_token stop,
                                                          double* duration,
                                                          const std::function<void(double)>& onAudio) const
{
    throwIfCancelled(stop); // before the model load, which takes a while
    SpeechRecognizer recognizer(modelFolder_, SpeechRecognizer::defaultDecoderCount(), stop);
    std::size_t sampleCount = 0;
    decodeAudio(
        audioFile, SpeechRecognizer::sampleRate, stop,
        [&](std::span<const std::int16_t> samples) {
            throwIfCancelled(stop);
            recognizer.feed(samples, stop);
            sampleCount += samples.size();
        },
        onAudio);
    throwIfCancelled(stop);
    if (duration)
        *duration = static_cast<double>(sampleCount) / SpeechRecognizer::sampleRate;
    return recognizer.finish(stop);
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

#include "media/transcription/SpeechRecognizer.h"

#include "media/transcription/TranscriptionError.h"
#include "model/Cancellation.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include <pocketsphinx.h>
#include <sphinxbase/ckd_alloc.h>
#include <sphinxbase/cmn.h>
#include <sphinxbase/err.h>
#include <sphinxbase/fe.h>
#include <sphinxbase/feat.h>

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

} // namespace

bool SpeechRecognizer::modelPresent(const fs::path& folder)
{
    std::error_code error;
    const ModelFiles files = modelFiles(folder);
    return fs::is_regular_file(files.acoustic / "mdef", error) && fs::is_regular_file(files.languageModel, error)
           && fs::is_regular_file(files.dictionary, error);
}

namespace {

// Carries the live cepstral mean from one utterance to the next, so that a
// decoder picking up an utterance in the middle of the recording starts from the
// mean the recording has reached by then rather than from the model's default.
struct CepstralMean {
    std::vector<mfcc_t> mean;
    std::vector<mfcc_t> sum;
    int32 frames = 0;

    static CepstralMean of(const cmn_t& cmn)
    {
        return {{cmn.cmn_mean, cmn.cmn_mean + cmn.veclen}, {cmn.sum, cmn.sum + cmn.veclen}, cmn.nframe};
    }
    void applyTo(cmn_t& cmn) const
    {
        std::copy(mean.begin(), mean.end(), cmn.cmn_mean);
        std::copy(sum.begin(), sum.end(), cmn.sum);
        cmn.nframe = frames;
    }
};

// One stretch of the recording between two pauses.
struct Utterance {
    std::size_t index = 0;
    std::size_t firstSample = 0;
    std::vector<std::int16_t> samples;
    CepstralMean mean;
};

// The recogniser reads audio in pieces of this many samples (a tenth of a second).
constexpr std::size_t piece = SpeechRecognizer::sampleRate / 10;
// A pause of this many 10 ms frames ends an utterance. The decoder's own default
// (half a second) rarely fires inside sung or spoken phrases, which would leave a
// whole passage as one utterance and nothing to share out.
constexpr int pauseFrames = 20;
constexpr std::size_t longestUtterance = std::size_t{30} * SpeechRecognizer::sampleRate;

cmd_ln_t* decoderConfig(const ModelFiles& files)
{
    return cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", files.acoustic.c_str(), "-lm", files.languageModel.c_str(),
                       "-dict", files.dictionary.c_str(), nullptr);
}

} // namespace

struct SpeechRecognizer::Decoder {
    cmd_ln_t* config = nullptr;
    ps_decoder_t* ps = nullptr;
    int framesPerSecond = 100;

    explicit Decoder(const ModelFiles& files)
    {
        config = decoderConfig(files);
        if (!config)
            throw TranscriptionError::noEngineAvailable();
        ps = ps_init(config);
        if (!ps)
            throw TranscriptionError::noEngineAvailable();
        framesPerSecond = cmd_ln_int32_r(config, "-frate");
        if (framesPerSecond <= 0)
            framesPerSecond = 100;
    }
    ~Decoder()
    {
        if (ps)
            ps_free(ps);
        if (config)
            cmd_ln_free_r(config);
    }
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    // Returns false when stopped before the end.
    bool decode(const Utterance& utterance, std::vector<TimedChunk>& words, std::stop_token stop)
    {
        // A fresh stream per utterance: frame numbers then count from its first sample.
        if (ps_start_stream(ps) < 0)
            throw TranscriptionError::failed("The speech recogniser could not start.");
        utterance.mean.applyTo(*ps_get_feat(ps)->cmn_struct);
        if (ps_start_utt(ps) < 0)
            throw TranscriptionError::failed("The speech recogniser could not start.");
        std::span<const std::int16_t> samples(utterance.samples);
        while (!samples.empty()) {
            if (stop.stop_requested()) {
                ps_end_utt(ps);
                return false;
            }
            const std::size_t n = std::min(samples.size(), piece);
            if (ps_process_raw(ps, samples.data(), n, FALSE, FALSE) < 0)
                throw TranscriptionError::failed("The speech recogniser could not read the audio.");
            samples = samples.subspan(n);
        }
        if (ps_end_utt(ps) < 0)
            throw TranscriptionError::failed("The speech recogniser could not finish.");
        const double frame = 1.0 / framesPerSecond;
        const double offset = static_cast<double>(utterance.firstSample) / sampleRate;
        for (ps_seg_t* seg = ps_seg_iter(ps); seg; seg = ps_seg_next(seg)) {
            const char* token = ps_seg_word(seg);
            std::string word = wordForToken(token ? token : "");
            if (word.empty())
                continue;
            int startFrame = 0;
            int endFrame = 0;
            ps_seg_frames(seg, &startFrame, &endFrame);
            // End frames are inclusive: a word active in frames 10..19 ends at 0.2 s.
            words.push_back({std::move(word), offset + startFrame * frame, offset + (endFrame + 1) * frame});
        }
        return true;
    }
};

// Finds the pauses with the decoder's own front end (same features, same voice
// detector), and keeps the live cepstral mean the way a single decoder reading
// the whole recording would.
struct SpeechRecognizer::Splitter {
    cmd_ln_t* config = nullptr;
    fe_t* fe = nullptr;
    cmn_t* cmn = nullptr;
    mfcc_t** cepstra = nullptr;
    static constexpr int32 bufferFrames = 256;
    std::size_t samplesFed = 0;
    bool heardSpeech = false;
    Utterance current;

    Splitter(const ModelFiles& files, const cmn_t& initialMean)
    {
        config = decoderConfig(files);
        if (!config)
            throw TranscriptionError::noEngineAvailable();
        // The model's front-end settings, as the decoders read them.
        const fs::path featParams = files.acoustic / "feat.params";
        std::error_code error;
        if (fs::is_regular_file(featParams, error)
            && !cmd_ln_parse_file_r(config, ps_args(), featParams.c_str(), FALSE))
            throw TranscriptionError::noEngineAvailable();
        cmd_ln_set_int32_r(config, "-vad_postspeech", pauseFrames);
        fe = fe_init_auto_r(cmd_ln_retain(config));
        if (!fe)
            throw TranscriptionError::noEngineAvailable();
        cmn = cmn_init(fe_get_output_size(fe));
        CepstralMean::of(initialMean).applyTo(*cmn);
        cepstra = static_cast<mfcc_t**>(ckd_calloc_2d(bufferFrames, fe_get_output_size(fe), sizeof(mfcc_t)));
        fe_start_stream(fe);
        fe_start_utt(fe);
        current.mean = CepstralMean::of(*cmn);
    }
    ~Splitter()
    {
        if (cepstra)
            ckd_free_2d(cepstra);
        if (cmn)
            cmn_free(cmn);
        if (fe)
            fe_free(fe);
        if (config)
            cmd_ln_free_r(config);
    }
    Splitter(const Splitter&) = delete;
    Splitter& operator=(const Splitter&) = delete;

    // Runs one piece through the front end; true when it ends an utterance.
    bool take(std::span<const std::int16_t> samples)
    {
        current.samples.insert(current.samples.end(), samples.begin(), samples.end());
        const int16* data = samples.data();
        std::size_t left = samples.size();
        while (left > 0) {
            int32 frames = bufferFrames;
            int32 frameIndex = 0;
            if (fe_process_frames(fe, &data, &left, cepstra, &frames, &frameIndex) < 0)
                throw TranscriptionError::failed("The speech recogniser could not read the audio.");
            if (frames > 0)
                cmn_live(cmn, cepstra, FALSE, frames);
        }
        samplesFed += samples.size();
        const bool inSpeech = fe_get_vad_state(fe) != 0;
        heardSpeech = heardSpeech || inSpeech;
        return (heardSpeech && !inSpeech) || current.samples.size() >= longestUtterance;
    }

    Utterance close()
    {
        int32 frames = 0;
        fe_end_utt(fe, cepstra[0], &frames);
        if (frames > 0)
            cmn_live(cmn, cepstra, FALSE, frames);
        Utterance done = std::move(current);
        current = {};
        current.index = done.index + 1;
        current.firstSample = samplesFed;
        current.mean = CepstralMean::of(*cmn);
        heardSpeech = false;
        fe_start_utt(fe);
        return done;
    }
};

// What the feeding side and the decoders share.
struct SpeechRecognizer::Shared {
    std::mutex mutex;
    std::condition_variable_any changed;
    std::deque<Utterance> waiting;
    std::map<std::size_t, std::vector<TimedChunk>> done;
    std::size_t submitted = 0;
    std::size_t queueLimit = 2;
    std::exception_ptr error;

    void submit(Utterance utterance, std::stop_token stop)
    {
        std::unique_lock lock(mutex);
        // Bounded, so a long song is never held in memory ahead of the decoders.
        changed.wait(lock, stop, [&] { return error || waiting.size() < queueLimit; });
        throwIfCancelled(stop);
        if (error)
            std::rethrow_exception(error);
        waiting.push_back(std::move(utterance));
        ++submitted;
        changed.notify_all();
    }

    void work(Decoder& decoder, std::stop_token stop)
    {
        for (;;) {
            Utterance utterance;
            {
                std::unique_lock lock(mutex);
                if (!changed.wait(lock, stop, [&] { return !waiting.empty() || error; }) || error)
                    return;
                utterance = std::move(waiting.front());
                waiting.pop_front();
                changed.notify_all();
            }
            std::vector<TimedChunk> words;
            try {
                if (!decoder.decode(utterance, words, stop))
                    return;
            } catch (...) {
                std::lock_guard lock(mutex);
                if (!error)
                    error = std::current_exception();
                changed.notify_all();
                return;
            }
            std::lock_guard lock(mutex);
            done.emplace(utterance.index, std::move(words));
            changed.notify_all();
        }
    }
};

std::size_t SpeechRecognizer::defaultDecoderCount()
{
    // Each decoder holds its own model (about 100 MB), so a few, not one per core.
    const unsigned cores = std::thread::hardware_concurrency();
    return std::clamp<std::size_t>(cores / 2, 1, 3);
}

namespace {

// Threads of model loads that may outlive the recogniser that started them. A
// finished one is joined when the next starts; the rest when the process ends.
class LoaderThreads {
public:
    static LoaderThreads& instance()
    {
        static LoaderThreads threads;
        return threads;
    }

    void start(std::function<void()> work)
    {
        std::lock_guard lock(mutex_);
        std::erase_if(threads_, [](Loader& loader) {
            if (!loader.done->load())
                return false;
            loader.thread.join();
            return true;
        });
        auto done = std::make_shared<std::atomic<bool>>(false);
        running_.fetch_add(1);
        threads_.push_back({std::thread([this, work = std::move(work), done] {
                               work();
                               running_.fetch_sub(1);
                               done->store(true);
                           }),
                            done});
    }

    std::size_t running() const { return running_.load(); }

    ~LoaderThreads()
    {
        for (auto& loader : threads_)
            loader.thread.join();
    }

private:
    struct Loader {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::mutex mutex_;
    std::vector<Loader> threads_;
    std::atomic<std::size_t> running_{0};
};

} // namespace

std::size_t SpeechRecognizer::loadsInFlight()
{
    return LoaderThreads::instance().running();
}

SpeechRecognizer::SpeechRecognizer(const fs::path& modelFolder, std::size_t decoders, std::stop_token stop)
    : shared_(std::make_unique<Shared>())
{
    // PocketSphinx logs every model detail to standard error; we want none of it.
    static std::once_flag quiet;
    std::call_once(quiet, [] { err_set_logfp(nullptr); });

    if (!modelPresent(modelFolder))
        throw TranscriptionError::noEngineAvailable();
    const ModelFiles files = modelFiles(modelFolder);
    decoders = std::max<std::size_t>(decoders, 1);
    shared_->queueLimit = 2 * decoders;

    // The decoders load their models side by side; each then runs on its own thread.
    // What a load makes lives in `load`, which the loaders share with us, so a load
    // we stop waiting for still has somewhere to put its decoder (and free it).
    struct Load {
        std::mutex mutex;
        std::condition_variable_any finished;
        std::vector<std::unique_ptr<Decoder>> decoders;
        std::exception_ptr failure;
        std::size_t done = 0;
    };
    auto load = std::make_shared<Load>();
    load->decoders.resize(decoders);
    throwIfCancelled(stop);
    for (std::size_t i = 0; i < decoders; ++i)
        LoaderThreads::instance().start([load, files, i] {
            std::unique_ptr<Decoder> decoder;
            std::exception_ptr failure;
            try {
                decoder = std::make_unique<Decoder>(files);
            } catch (...) {
                failure = std::current_exception();
            }
            std::lock_guard lock(load->mutex);
            load->decoders[i] = std::move(decoder);
            if (failure && !load->failure)
                load->failure = failure;
            ++load->done;
            load->finished.notify_all();
        });
    {
        std::unique_lock lock(load->mutex);
        load->finished.wait(lock, stop, [&] { return load->done == decoders; });
        throwIfCancelled(stop);
        if (load->failure)
            std::rethrow_exception(load->failure);
    }
    std::vector<std::unique_ptr<Decoder>> loaded = std::move(load->decoders);

    splitter_ = std::make_unique<Splitter>(files, *ps_get_feat(loaded.front()->ps)->cmn_struct);
    for (auto& decoder : loaded)
        workers_.emplace_back([shared = shared_.get(), decoder = std::shared_ptr<Decoder>(std::move(decoder))](
                                  std::stop_token workerStop) { shared->work(*decoder, workerStop); });
}

SpeechRecognizer::~SpeechRecognizer()
{
    for (auto& worker : workers_)
        worker.request_stop();
    workers_.clear(); // joins before the shared state goes
}

void SpeechRecognizer::feed(std::span<const std::int16_t> samples, std::stop_token stop)
{
    while (!samples.empty()) {
        const std::size_t n = std::min(samples.size(), piece - splitter_->current.samples.size() % piece);
        if (splitter_->take(samples.first(n)))
            shared_->submit(splitter_->close(), stop);
        samples = samples.subspan(n);
    }
}

std::vector<TimedChunk> SpeechRecognizer::finish(std::stop_token stop)
{
    const std::size_t last = splitter_->current.index;
    shared_->submit(splitter_->close(), stop);
    std::unique_lock lock(shared_->mutex);
    shared_->changed.wait(lock, stop, [&] { return shared_->error || shared_->done.size() > last; });
    throwIfCancelled(stop);
    if (shared_->error)
        std::rethrow_exception(shared_->error);
    std::vector<TimedChunk> words;
    for (auto& [index, found] : shared_->done)
        std::move(found.begin(), found.end(), std::back_inserter(words));
    return words;
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

} // namespace vl

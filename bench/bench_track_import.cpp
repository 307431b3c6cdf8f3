// Importing one four-minute stereo 44.1 kHz 128 kbit/s MP3 file: decoding into the temporary
// WAV file on the decoder thread while the main thread measures the blocks already written,
// the rest of the blocks, the finishing step and storing the track in a library.
// Baseline: decoding the same file with libmad alone, the whole file in memory and the same
// sample conversion into a memory buffer, without a WAV file. Target: at most 1.15 x.
#include <benchmark/benchmark.h>
#include <mad.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "analysis/mp3_to_wav.h"
#include "analysis/track_analyser.h"
#include "analysis/wav_format.h"
#include "app/event_pump.h"
#include "app/random_source.h"
#include "bench/bench_support.h"
#include "library/library_tables.h"

namespace melodrift::bench {
namespace {

constexpr int kTrackSeconds = 240;

// The MP3 file, made once per run with sox and lame: pink noise under a few tones.
class FourMinuteTrack {
 public:
  static const FourMinuteTrack& Get() {
    static const FourMinuteTrack track;
    return track;
  }
  const std::string& mp3() const { return mp3_; }

 private:
  FourMinuteTrack() : mp3_(folder_.File("track.mp3")) {
    const std::string wav = folder_.File("track.wav");
    const std::string synth = "sox -R -n -r 44100 -c 2 -b 16 '" + wav + "' synth " +
                              std::to_string(kTrackSeconds) +
                              " pinknoise sine 220 sine 330 remix 1v0.3,2v0.2 1v0.2,3v0.2"
                              " 2>/dev/null";
    const std::string encode = "lame --quiet -b 128 '" + wav + "' '" + mp3_ + "'";
    Require(std::system(synth.c_str()) == 0, "sox made the WAV file");
    Require(std::system(encode.c_str()) == 0, "lame made the MP3 file");
    std::filesystem::remove(wav);
  }

  BenchFolder folder_;
  std::string mp3_;
};

// libmad alone: what any import must at least do.
class BareDecoder {
 public:
  // The number of 16-bit samples decoded.
  size_t Decode(const std::string& mp3) {
    std::ifstream in(mp3, std::ios::binary);
    input_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    samples_.clear();
    samples_.reserve(size_t{kTrackSeconds + 2} * 44100 * 2);
    input_given_ = false;
    mad_decoder decoder;
    mad_decoder_init(
        &decoder, this,
        [](void* data, mad_stream* stream) {
          auto* self = static_cast<BareDecoder*>(data);
          if (self->input_given_) return MAD_FLOW_STOP;
          mad_stream_buffer(stream, self->input_.data(), self->input_.size());
          self->input_given_ = true;
          return MAD_FLOW_CONTINUE;
        },
        nullptr, nullptr,
        [](void* data, const mad_header*, mad_pcm* pcm) {
          auto* self = static_cast<BareDecoder*>(data);
          const size_t at = self->samples_.size();
          self->samples_.resize(at + size_t{pcm->length} * pcm->channels);
          int16_t* out = self->samples_.data() + at;
          for (unsigned i = 0; i < pcm->length; ++i) {
            for (unsigned c = 0; c < pcm->channels; ++c)
              *out++ = MadSampleToInt16(pcm->samples[c][i]);
          }
          return MAD_FLOW_CONTINUE;
        },
        [](void*, mad_stream*, mad_frame*) { return MAD_FLOW_CONTINUE; }, nullptr);
    mad_decoder_run(&decoder, MAD_DECODER_MODE_SYNC);
    mad_decoder_finish(&decoder);
    return samples_.size();
  }

 private:
  std::vector<unsigned char> input_;
  std::vector<int16_t> samples_;
  bool input_given_ = false;
};

class NoAnalysisView final : public AnalysisView {
 public:
  void SetLabel(int, const std::string&) override {}
  void SetProgress(int) override {}
  void Repaint() override {}
};

// A library in a folder of its own, opened as the program opens it.
class BenchLibrary {
 public:
  BenchLibrary() {
    folder_.Subfolder("tables");
    tables.SetFileNames(folder_.path() + "/");
    tables.ErrorDBF.Open();
    tables.TrackDBF.Open();
    tables.FeatureDBF.Open();
    tables.AvgDBF.Open();
    tables.ReloadTrackMem();
  }
  std::string TempWavPath() const { return folder_.File("xxxyyzzz.wav"); }

  LibraryTables tables;

 private:
  BenchFolder folder_;
};

void ImportFourMinuteTrack(benchmark::State& state) {
  RunGuarded(state, [&] {
    const FourMinuteTrack& track = FourMinuteTrack::Get();
    BenchLibrary library;
    TMP3ToWav converter;
    RandomSource random;
    NoEventPump pump;
    NoAnalysisView view;
    TrackAnalyser analyser(converter, random, pump, view);
    BareDecoder bare;
    const bool keep_importing = true;
    RatioTimer timer;
    size_t samples = 0;
    for (auto _ : state) {
      timer.Baseline([&] { samples = bare.Decode(track.mp3()); });
      Require(samples > size_t{kTrackSeconds} * 44100 * 2, "the bare decoding got every sample");

      timer.Measure(state, [&] {
        analyser.ReadMP3File(track.mp3(), library.TempWavPath(), "Bench", "Four Minutes");
        Require(analyser.DoFFT(library.TempWavPath(), keep_importing), "not cancelled");
        NewTrack t;
        t.title = "track.mp3";
        t.filepath = track.mp3() + "#" + std::to_string(library.tables.NextUniqueID);
        t.artist = "Bench";
        t.album = "Imports";
        t.song = "Four Minutes";
        t.seconds = analyser.TrackSeconds();
        t.features = analyser.Finish();
        library.tables.StoreTrack(t);
      });
      // 20,670 blocks for exactly 240 s; the encoder adds a few frames.
      Require(analyser.FrameCount() >= 20'670 && analyser.FrameCount() < 20'800,
              "every block of the track measured");
      Require(analyser.TrackSeconds() == kTrackSeconds, "the track's length");
    }
    timer.Report(state);
  });
}

// Several imports per repetition: one pair alone is at the mercy of a shared machine.
BENCHMARK(ImportFourMinuteTrack)->UseManualTime()->MinTime(2.0)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace melodrift::bench

int main(int argc, char** argv) {
  return melodrift::bench::RunTableBenchmarks(argc, argv);
}

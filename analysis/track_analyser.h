// One track's analysis during the import: the MP3 file is decoded into the temporary WAV file
// on the decoder thread (ReadMP3File) and the WAV file is turned into the track's spectrum
// (DoFFT, then Finish). While ReadMP3File waits for the decoder it already measures the blocks
// that have been written, on the main thread, so that both cores work; the values are exactly
// those of measuring the finished file. Main thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "analysis/mp3_to_wav.h"
#include "app/event_pump.h"
#include "app/random_source.h"
#include "library/feature_vector.h"

namespace melodrift {

// What the add-progress window shows.
class AnalysisView {
 public:
  virtual ~AnalysisView() = default;
  virtual void SetLabel(int label, const std::string& text) = 0;  // label 1, 2 or 3
  virtual void SetProgress(int position) = 0;                     // 0 to 512
  virtual void Repaint() = 0;
};

class TrackAnalyser {
 public:
  // ReadMP3File takes over the converter's OnDone (it clears DecodeRunning).
  TrackAnalyser(TMP3ToWav& converter, RandomSource& random, EventPump& pump, AnalysisView& view);
  ~TrackAnalyser();
  TrackAnalyser(const TrackAnalyser&) = delete;
  TrackAnalyser& operator=(const TrackAnalyser&) = delete;

  // Shows "reading", artist and song, converts mp3_path into wav_path and returns when the
  // conversion has ended, letting events run at least every 50 ms. Throws (std::exception
  // with a message naming the file) when the MP3 file cannot be opened or the WAV file cannot
  // be created; a file that does not decode gives an empty WAV file and no error.
  void ReadMP3File(const std::string& mp3_path, const std::string& wav_path,
                   const std::string& artist, const std::string& song);

  // Measures the WAV file at wav_path (the rest of it after ReadMP3File, or all of it) and
  // deletes it, also on a cancel or an error. Returns false when `keep_importing` was found
  // false at one of the random progress points (about 2.4 % of the blocks).
  bool DoFFT(const std::string& wav_path, const bool& keep_importing);

  // The finishing step: per-bin averages over FrameCount (0 with no block), rounded to whole
  // numbers (halves to even) as they are stored.
  FeatureValues Finish() const;
  int32_t FrameCount() const;
  int32_t TrackSeconds() const;  // round(B / 4 / 44000) - 1, B the WAV file's size

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace melodrift

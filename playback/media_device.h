// A media device that plays one MP3 file: the operations the players of the main window and
// of the playlist window use. The file is decoded with libmad on a worker thread and fed to an
// AudioOutput (Qt Multimedia's audio sink in the window program; a silent output that consumes
// samples at the real-time rate where there is none). Lengths and positions are in
// milliseconds. Every operation is called on the main thread and returns at once; none blocks
// the user interface. Failures of Close, Play, Stop and Seek are not reported, as callers
// ignore them; Open and the pause toggle throw MediaError.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "playback/audio_output.h"
#include "playback/media_error.h"

namespace melodrift {

class MediaDevice {
 public:
  enum class Mode { kNotOpen, kStopped, kPlaying, kPaused };

  // `output` makes the audio output for each opened file (one per Open).
  explicit MediaDevice(AudioOutputFactory output);
  ~MediaDevice();  // closes
  MediaDevice(const MediaDevice&) = delete;
  MediaDevice& operator=(const MediaDevice&) = delete;

  // The file that Open plays (file-system bytes).
  std::string FileName;

  // Opens FileName, ready to play at position 0: reads the frame headers once for the length
  // and the start of every frame. Throws MediaError with a clear text when the file cannot be
  // read or holds no MPEG audio frame. Closes a file opened before.
  void Open();
  // Stops playback and releases the file at once; nothing when no file is open.
  void Close();
  // Plays from the position; at the end of the file from 0, unless a Seek just before set the
  // position there. Resumes when paused. Playback runs on by itself to the end, where the
  // mode becomes kStopped with the position at the length.
  void Play();
  // Halts playback; the file stays open and the position stays.
  void Stop();
  // Playing: pause; paused: resume; otherwise nothing. Throws MediaError("No MCI device open")
  // when no file is open.
  void PauseToggle();
  // Moves to `ms` (clamped to 0 and the length) through the frame table; a running playback
  // goes on from there, a paused one stays paused there.
  void Seek(int64_t ms);
  int64_t Length() const;    // of the open file; 0 when none
  int64_t Position() const;  // what has been played; 0 when none
  Mode GetMode() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace melodrift

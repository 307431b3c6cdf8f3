// libmad's decoding structures with their init and finish calls tied to a scope.
#pragma once

#include <mad.h>

namespace melodrift {

class MadStream {
 public:
  MadStream() { mad_stream_init(&stream_); }
  ~MadStream() { mad_stream_finish(&stream_); }
  MadStream(const MadStream&) = delete;
  MadStream& operator=(const MadStream&) = delete;
  mad_stream* get() { return &stream_; }

 private:
  mad_stream stream_;
};

class MadFrame {
 public:
  MadFrame() { mad_frame_init(&frame_); }
  ~MadFrame() { mad_frame_finish(&frame_); }
  MadFrame(const MadFrame&) = delete;
  MadFrame& operator=(const MadFrame&) = delete;
  mad_frame* get() { return &frame_; }

 private:
  mad_frame frame_;
};

class MadSynth {
 public:
  MadSynth() { mad_synth_init(&synth_); }
  ~MadSynth() { mad_synth_finish(&synth_); }
  MadSynth(const MadSynth&) = delete;
  MadSynth& operator=(const MadSynth&) = delete;
  mad_synth* get() { return &synth_; }

 private:
  mad_synth synth_;
};

}  // namespace melodrift

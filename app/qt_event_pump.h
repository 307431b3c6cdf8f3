// The event pump of the window program: lets Qt run pending events once.
#pragma once

#include "app/event_pump.h"

namespace melodrift {

class QtEventPump final : public EventPump {
 public:
  void ProcessEvents() override;
};

}  // namespace melodrift

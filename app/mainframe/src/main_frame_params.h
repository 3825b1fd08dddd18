// The program's tone sink: each alarm tone at its pitch and length through
// the sound device, the system bell where no sound device opens.
#pragma once

#include <platform/beep.h>

#include <memory>

std::shared_ptr<plat::BeepSink> MakeAlarmToneSink();

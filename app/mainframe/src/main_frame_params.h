// The program's tone sink: every tone sounds the system bell.
#pragma once

#include <platform/beep.h>

#include <memory>

std::shared_ptr<plat::BeepSink> MakeBellBeepSink();

// The key-channel entry ("加解密参数设置对话框") and the derivation of the
// encrypted channels ("未加密波道推算") of a demodulator or simulator page.
#pragma once

#include <string>

#include "task_checks.h"

class QWidget;

namespace taskbook {

// Shows the key fields for `v`; true with the accepted list ("%d," per
// channel) in `keys`.
bool RunKeyChannelsDialog(QWidget* parent, const FrameValues& v, std::string& keys);
// Derives the encrypted channels from the non-encrypted ones; true with the
// derived list in `encrypted`.
bool RunNonEncryptedDialog(QWidget* parent, const FrameValues& v, std::string& encrypted);

}  // namespace taskbook

// The hook between the selection calls and the selection dialog: the dialog
// gets copies of the three shadow lists and edits only those copies.
#pragma once

#include <vector>

#include "param_model.h"

namespace prefs {

struct SelectionDialogRequest {
    int kind = 0;   // 0..4, the flag the right-hand list shows
    int level = 0;  // 0 subframe, 1 superframe, 2 special superframe
    std::vector<ParamRecord> lists[3];
};

// Shows the dialog modally; true when the user accepted (the lists then
// hold the edited selection).
using SelectionDialogRunner = bool (*)(SelectionDialogRequest& request);

// Installed by the window part of the library; without one the dialog is
// never shown and every request counts as cancelled.
void SetSelectionDialogRunner(SelectionDialogRunner runner);
SelectionDialogRunner CurrentSelectionDialogRunner();

}  // namespace prefs

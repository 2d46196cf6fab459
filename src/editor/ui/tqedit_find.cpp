// Placeholder until the Find tab and the find dialog are built; replaced whole.
#include "editor/ui/tqedit.h"

namespace zorv {

void Tqedit::findbtnClick() {}
void Tqedit::FindNextbtClick() {}
void Tqedit::findClick() {}
void Tqedit::FindDialogFind() {}

} // namespace zorv

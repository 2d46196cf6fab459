// Placeholder until "Open new userfile." is built; replaced whole.
#include "editor/ui/tqedit.h"

namespace zorv {

void Tqedit::openClick() {}
void Tqedit::openOtherUserFile() {}

} // namespace zorv

#include "support/ChildRole.h"

// A test child on Windows keeps its parent's account: there is no root to give up.
bool DropRootForChildRole() {
    return true;
}

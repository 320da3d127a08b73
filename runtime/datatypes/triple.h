// triple!: three signed 32-bit integers, shown by form and mold as make triple! [1 -2 3]; the
// type has no other action.
#pragma once

namespace xol::triple {

// Registers triple! (id 31).
void init();

}  // namespace xol::triple

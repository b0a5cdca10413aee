#include "telvar/framework/end_process.h"

#include <cstdlib>

namespace telvar {

void end_process(int status) { std::exit(status); }

}  // namespace telvar

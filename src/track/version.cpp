#include "track/version.h"

namespace kalvora {

const char* versionString()
{
    return "0.1.0";
}

} // namespace kalvora

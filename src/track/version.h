#pragma once

namespace kalvora {

/** The application's version text, e.g. "0.1.0". */
const char* versionString();

} // namespace kalvora

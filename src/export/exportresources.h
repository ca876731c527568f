#pragma once

namespace kalvora {

/** Registers the built-in templates (":/export/..."); a static library's resources need it. Any thread, idempotent. */
void initExportResources();

} // namespace kalvora

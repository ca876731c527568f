#pragma once

#include <QString>

class QWidget;

namespace kalvora {

/** The licence the application is distributed under, as the About box names it. */
inline constexpr const char* kLicenceName = "GNU General Public License, version 3 or later";

/** The About box text: name, version and licence. */
[[nodiscard]] QString aboutText();

/** Shows the About box over @p window (not waited for). */
void showAboutBox(QWidget* window);

} // namespace kalvora

#pragma once

namespace kalvora::cli {

/**
 * Makes the units and XC points system of the user's settings record current,
 * creating the global store and the record as the application's start-up does
 * when there is none yet, so that the command line scores as the application
 * does from the first run on. When the global store cannot be opened or
 * written, the values a new record would get are used and a note goes to stderr.
 */
void useUserSettings();

} // namespace kalvora::cli

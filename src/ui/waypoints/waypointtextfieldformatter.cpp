#include "ui/waypoints/waypointtextfieldformatter.h"

namespace kalvora {

QValidator::State WaypointTextFieldFormatter::validate(QString& input, int& position) const
{
    Q_UNUSED(position);
    return input.size() > MaxLength ? Invalid : Acceptable;
}

} // namespace kalvora

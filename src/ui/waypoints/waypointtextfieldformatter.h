#pragma once

#include <QValidator>

namespace kalvora {

/**
 * The formatter of the waypoint name fields that instruments limit: the text
 * is shown and accepted unchanged, and any edit after which it would be longer
 * than 16 characters is refused (typing, pasting or dropping alike). GUI thread.
 */
class WaypointTextFieldFormatter final : public QValidator
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WaypointTextFieldFormatter)

public:
    static constexpr int MaxLength = 16;

    explicit WaypointTextFieldFormatter(QObject* parent = nullptr) : QValidator(parent) {}

    State validate(QString& input, int& position) const override;
};

} // namespace kalvora

#pragma once

#include <QStringList>

#include "ui/windowinteraction.h"

namespace kalvora::test {

/** Answers every question at once with the canned answer and records what was asked. */
class ScriptedInteraction final : public WindowInteraction
{
public:
    void askDeleteFlights(QWidget*, int count, std::function<void(bool)> reply) override
    {
        asked << QStringLiteral("delete %1").arg(count);
        reply(confirm);
    }
    void askDeleteEquipment(QWidget*, int count, std::function<void(bool)> reply) override
    {
        asked << QStringLiteral("delete equipment %1").arg(count);
        reply(confirm);
    }
    void askInvalidateIGC(QWidget*, std::function<void(bool)> reply) override
    {
        asked << QStringLiteral("invalidate");
        reply(confirm);
    }
    void askRecalculate(QWidget*, int edited, std::function<void(bool)> reply) override
    {
        asked << QStringLiteral("recalculate %1").arg(edited);
        reply(confirm);
    }
    void showAlert(QWidget*, const QString& message, const QString& informative) override
    {
        alerts << message + QLatin1Char('|') + informative;
    }
    void chooseFile(QWidget*, const FileRequest& request, std::function<void(const QString&)> reply) override
    {
        asked << request.title;
        reply(chosenFile);
    }

    bool confirm = true;
    QString chosenFile;
    QStringList asked;
    QStringList alerts;
};

} // namespace kalvora::test

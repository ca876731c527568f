#pragma once

#include "ui/contests/contestsheet.h"

class QCheckBox;
class QComboBox;

namespace kalvora {

/**
 * The XContest submission sheet "XC": log-in, glider class, category and
 * name, take-off, whether the comment goes along and whether the flight is
 * activated at once. Only the first flight is sent. GUI thread.
 */
class XContestSheet final : public ContestSheet
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(XContestSheet)

public:
    XContestSheet(ObjectContext* context, const QList<Flight*>& flights, const ContestSheetServices& services,
                  QWidget* parent);
    ~XContestSheet() override;

    [[nodiscard]] QComboBox* classList() const { return m_class; }
    [[nodiscard]] QComboBox* categoryList() const { return m_category; }

protected:
    void rememberAnswers() override;
    Job prepareJob(QString& reason) override;

private:
    QComboBox* m_class = nullptr;
    QComboBox* m_category = nullptr;
    QLineEdit* m_glider = nullptr;
    QLineEdit* m_takeoff = nullptr;
    QCheckBox* m_comment = nullptr;
    QCheckBox* m_activate = nullptr;
};

} // namespace kalvora

#pragma once

#include "ui/contests/contestsheet.h"

class QCheckBox;
class QComboBox;

namespace kalvora {

class DateField;

/**
 * The DHV-XC submission sheet "DHVXC": pilot, log-in, glider class,
 * certification category (offered by class), manufacturer, model, launch
 * type and whether the comment goes along, pre-filled from the remembered
 * answers, the logbook's pilot, the first flight's glider and the keyring.
 * GUI thread.
 */
class DHVXCSheet final : public ContestSheet
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DHVXCSheet)

public:
    /** CONTEXT is the logbook's store (for its pilot and the submission records); FLIGHTS must not be empty. */
    DHVXCSheet(ObjectContext* context, const QList<Flight*>& flights, const ContestSheetServices& services,
               QWidget* parent);
    ~DHVXCSheet() override;

    [[nodiscard]] QComboBox* classList() const { return m_class; }
    [[nodiscard]] QComboBox* categoryList() const { return m_category; }
    [[nodiscard]] QComboBox* manufacturerList() const { return m_manufacturer; }

protected:
    void rememberAnswers() override;
    Job prepareJob(QString& reason) override;

private:
    void fillCategories();

    QLineEdit* m_firstName = nullptr;
    QLineEdit* m_lastName = nullptr;
    DateField* m_birth = nullptr;
    QComboBox* m_class = nullptr;
    QComboBox* m_category = nullptr;
    QComboBox* m_manufacturer = nullptr;
    QLineEdit* m_model = nullptr;
    QComboBox* m_startType = nullptr;
    QCheckBox* m_comment = nullptr;
};

} // namespace kalvora

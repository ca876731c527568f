#pragma once

#include <atomic>
#include <memory>

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace kalvora {

/**
 * The progress sheet "LongTimeSheet": a title, a bar (determinate or busy) and a
 * cancel button. The button only raises a flag that the running job checks
 * between items; the job ends the sheet itself. Main thread only, except
 * cancelFlag(), whose flag any thread may read.
 */
class LongTimeSheet final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LongTimeSheet)

public:
    explicit LongTimeSheet(QWidget* parent);
    ~LongTimeSheet() override;

    /** Shows the sheet window-modal over its parent and clears the cancel flag. */
    void begin(const QString& title, int maximum);
    /** Busy bar: a job whose length is not known. */
    void beginIndeterminate(const QString& title);
    void setProgress(int value);
    /** A line under the bar, such as how much is done and how long the rest takes; empty hides it. */
    void setDetail(const QString& text);
    [[nodiscard]] QString detail() const;
    [[nodiscard]] int progress() const;
    [[nodiscard]] int maximum() const;
    /** Hides the sheet; the cancel flag keeps its value for the job's end. */
    void end();

    [[nodiscard]] bool isCanceled() const { return m_canceled->load(); }
    /** The flag the cancel button sets; shared so that a worker may outlive the sheet. */
    [[nodiscard]] std::shared_ptr<std::atomic<bool>> cancelFlag() const { return m_canceled; }
    [[nodiscard]] QString title() const;

    /** Presses the cancel button (also what Escape does). */
    void cancel();

signals:
    void canceled();

protected:
    void reject() override;

private:
    QLabel* m_title = nullptr;
    QLabel* m_detail = nullptr;
    QProgressBar* m_bar = nullptr;
    QPushButton* m_cancelButton = nullptr;
    std::shared_ptr<std::atomic<bool>> m_canceled = std::make_shared<std::atomic<bool>>(false);
};

} // namespace kalvora

#include "ui/longtimesheet.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace kalvora {

LongTimeSheet::LongTimeSheet(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("LongTimeSheet"));
    setWindowModality(Qt::WindowModal);
    setMinimumWidth(360);

    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("title"));
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("progress"));
    m_bar->setTextVisible(false);
    m_detail = new QLabel(this);
    m_detail->setObjectName(QStringLiteral("detail"));
    m_detail->setWordWrap(true);
    m_detail->hide();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    m_cancelButton = buttons->button(QDialogButtonBox::Cancel);
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));
    connect(m_cancelButton, &QPushButton::clicked, this, &LongTimeSheet::cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_title);
    layout->addWidget(m_bar);
    layout->addWidget(m_detail);
    layout->addWidget(buttons);
}

LongTimeSheet::~LongTimeSheet() = default;

void LongTimeSheet::begin(const QString& title, int maximum)
{
    m_title->setText(title);
    setWindowTitle(title);
    m_bar->setRange(0, maximum);
    m_bar->setValue(0);
    setDetail(QString());
    m_canceled->store(false);
    m_cancelButton->setEnabled(true);
    open();
}

void LongTimeSheet::beginIndeterminate(const QString& title)
{
    begin(title, 0);
}

void LongTimeSheet::setProgress(int value)
{
    m_bar->setValue(value);
}

void LongTimeSheet::setDetail(const QString& text)
{
    m_detail->setText(text);
    m_detail->setVisible(!text.isEmpty());
}

QString LongTimeSheet::detail() const
{
    return m_detail->text();
}

int LongTimeSheet::progress() const
{
    return m_bar->value();
}

int LongTimeSheet::maximum() const
{
    return m_bar->maximum();
}

void LongTimeSheet::end()
{
    hide();
    setResult(QDialog::Accepted);
}

QString LongTimeSheet::title() const
{
    return m_title->text();
}

void LongTimeSheet::cancel()
{
    if (m_canceled->exchange(true))
        return;
    // The job may take a moment to reach its next check; show that the press was seen.
    m_cancelButton->setEnabled(false);
    emit canceled();
}

void LongTimeSheet::reject()
{
    // Escape or closing the window must not hide the sheet behind a running job.
    cancel();
}

} // namespace kalvora

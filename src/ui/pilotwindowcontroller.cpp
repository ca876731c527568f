#include "ui/pilotwindowcontroller.h"

#include <QBuffer>
#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTimeZone>
#include <QVBoxLayout>

#include "model/pilot.h"
#include "store/objectcontext.h"
#include "ui/datefield.h"
#include "ui/imagereduction.h"
#include "ui/windowinteraction.h"

namespace kalvora {

namespace {

constexpr int kPhotoBound = 111;


} // namespace

PilotWindowController::PilotWindowController(Pilot* pilot, ObjectContext* context, QWidget* parent)
    : QWidget(parent, Qt::Window), m_pilot(pilot), m_context(context), m_interaction(makeSheetInteraction())
{
    setObjectName(QStringLiteral("PilotWindowController"));
    setWindowTitle(tr("Pilot"));

    auto* form = new QFormLayout;
    const struct
    {
        const char* key;
        QString label;
    } fields[] = {
        {"firstname", tr("First name:")}, {"lastname", tr("Last name:")}, {"address", tr("Address:")},
        {"address2", QString()},          {"zip", tr("Postcode:")},       {"city", tr("City:")},
        {"country", tr("Country:")},      {"license", tr("Licence:")},
    };
    for (const auto& field : fields) {
        auto* edit = new QLineEdit(this);
        const QString key = QLatin1String(field.key);
        edit->setObjectName(key);
        m_textFields.insert(key, edit);
        if (field.label.isEmpty())
            edit->setAccessibleName(tr("Address, second line"));
        form->addRow(field.label, edit);
        connect(edit, &QLineEdit::textEdited, this, [this, key](const QString& text) {
            if (m_pilot)
                m_pilot->setValue(key, text.isEmpty() ? QVariant() : QVariant(text));
        });
    }

    // An empty calendar opens where such a date usually lies, not at 1900.
    const QDate today = QDate::currentDate();
    m_birth = new DateField(QDate(today.year() - 35, 1, 1), this);
    m_birth->setObjectName(QStringLiteral("birth"));
    m_birth->lineEdit()->setObjectName(QStringLiteral("birthText"));
    m_licenseDate = new DateField(today, this);
    m_licenseDate->setObjectName(QStringLiteral("licensedate"));
    m_licenseDate->lineEdit()->setObjectName(QStringLiteral("licensedateText"));
    form->insertRow(2, tr("&Born:"), m_birth);
    form->addRow(tr("Licensed &since:"), m_licenseDate);
    for (DateField* field : {m_birth, m_licenseDate})
        static_cast<QLabel*>(form->labelForField(field))->setBuddy(field->lineEdit());
    const auto bindDate = [this](DateField* field, const QString& key) {
        // Only the user's edits arrive here: showing a record's date reports nothing.
        connect(field, &DateField::dateEdited, this, [this, key](const QDate& date) {
            if (m_pilot)
                m_pilot->setValue(key, date.isValid() ? QVariant(QDateTime(date, QTime(0, 0), QTimeZone::utc()))
                                                      : QVariant());
        });
    };
    bindDate(m_birth, QStringLiteral("birth"));
    bindDate(m_licenseDate, QStringLiteral("licensedate"));
    // Tab follows the rows as they stand, "Born" included.
    QWidget* previous = nullptr;
    for (int row = 0; row < form->rowCount(); ++row) {
        QLayoutItem* item = form->itemAt(row, QFormLayout::FieldRole);
        QWidget* field = item ? item->widget() : nullptr;
        if (!field)
            continue;
        if (auto* date = qobject_cast<DateField*>(field))
            field = date->lineEdit();
        if (previous)
            setTabOrder(previous, field);
        previous = field;
    }

    m_photo = new QLabel(this);
    m_photo->setObjectName(QStringLiteral("photo"));
    m_photo->setFixedSize(kPhotoBound + 40, kPhotoBound + 40);
    m_photo->setAlignment(Qt::AlignCenter);
    m_photo->setFrameShape(QFrame::StyledPanel);
    auto* photoButton = new QPushButton(tr("Choose Photo…"), this);
    photoButton->setObjectName(QStringLiteral("photoButton"));
    connect(photoButton, &QPushButton::clicked, this, &PilotWindowController::selectPhotoButtonClicked);

    auto* photoColumn = new QVBoxLayout;
    photoColumn->addWidget(m_photo);
    photoColumn->addWidget(photoButton);
    photoColumn->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(form, 1);
    layout->addLayout(photoColumn);
    layout->setMenuBar(createMenuBar());

    loadFromPilot();
    setEnabled(m_pilot != nullptr);
}

PilotWindowController::~PilotWindowController() = default;

QMenuBar* PilotWindowController::createMenuBar()
{
    // The pilot belongs to the logbook: undo goes to the logbook's history.
    auto* bar = new QMenuBar(this);
    QMenu* edit = bar->addMenu(tr("&Edit"));
    edit->setObjectName(QStringLiteral("editMenu"));
    m_undoAction = edit->addAction(tr("&Undo"), this, [this] {
        if (m_context && m_context->canUndo()) {
            m_context->undo();
            loadFromPilot();
        }
    });
    m_undoAction->setObjectName(QStringLiteral("undo"));
    m_undoAction->setShortcut(QKeySequence::Undo);
    m_redoAction = edit->addAction(tr("&Redo"), this, [this] {
        if (m_context && m_context->canRedo()) {
            m_context->redo();
            loadFromPilot();
        }
    });
    m_redoAction->setObjectName(QStringLiteral("redo"));
    m_redoAction->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence::Redo});
    connect(edit, &QMenu::aboutToShow, this, [this] {
        m_undoAction->setEnabled(m_context && m_context->canUndo());
        m_redoAction->setEnabled(m_context && m_context->canRedo());
    });
    connect(edit, &QMenu::aboutToHide, this, [this] {
        m_undoAction->setEnabled(true);
        m_redoAction->setEnabled(true);
    });
    return bar;
}

Pilot* PilotWindowController::pilot() const
{
    return m_pilot;
}

void PilotWindowController::loadFromPilot()
{
    if (!m_pilot)
        return;
    for (auto it = m_textFields.cbegin(); it != m_textFields.cend(); ++it)
        it.value()->setText(m_pilot->stringValue(it.key()));
    const auto utcDate = [](const QDateTime& value) {
        return value.isValid() ? value.toTimeZone(QTimeZone::utc()).date() : QDate();
    };
    m_birth->setDate(utcDate(m_pilot->birth()));
    m_licenseDate->setDate(utcDate(m_pilot->licensedate()));
    showPhoto();
}

void PilotWindowController::showPhoto()
{
    QImage image;
    if (m_pilot && image.loadFromData(m_pilot->photo()))
        m_photo->setPixmap(QPixmap::fromImage(image).scaled(m_photo->contentsRect().size(), Qt::KeepAspectRatio,
                                                            Qt::SmoothTransformation));
    else
        m_photo->setText(tr("No photo"));
}

void PilotWindowController::selectPhotoButtonClicked()
{
    if (!m_pilot)
        return;
    if (!m_interaction)
        return;
    m_interaction->chooseFile(this, {tr("Choose pilot photo"), tr("Pictures (*.jpg *.JPG *.png *.PNG)"), false},
                              [self = QPointer(this)](const QString& path) {
                                  if (self && !path.isEmpty())
                                      self->setPhotoFromFile(path);
                              });
}

bool PilotWindowController::setPhotoFromFile(const QString& path)
{
    if (!m_pilot)
        return false;
    const std::optional<QByteArray> jpeg = reducedJpeg(path, QSize(kPhotoBound, kPhotoBound));
    if (!jpeg)
        return false;
    m_pilot->setPhoto(*jpeg);
    showPhoto();
    return true;
}

void PilotWindowController::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (QLineEdit* first = m_textFields.value(QStringLiteral("firstname")))
        first->setFocus();
}

void PilotWindowController::closeEvent(QCloseEvent* event)
{
    // A half-typed field is already in the record: text is stored as it is typed.
    event->accept();
}

} // namespace kalvora

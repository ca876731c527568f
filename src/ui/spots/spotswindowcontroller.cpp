#include "ui/spots/spotswindowcontroller.h"

#include <QApplication>
#include <QColumnView>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStandardItemModel>
#include <QThreadPool>
#include <QVBoxLayout>

namespace kalvora {

namespace {

/** The entry of the tree a row shows, for the details and the link. */
constexpr int SpotRole = Qt::UserRole + 1;

/** Larger files are not site lists; reading them whole would only cost memory. */
constexpr qint64 kMaximumKml = 256LL * 1024 * 1024;

class SpotsDialogs final : public SpotsInteraction
{
public:
    void chooseKml(QWidget* window, std::function<void(const QString&)> reply) override
    {
        auto* dialog = new QFileDialog(window, SpotsWindowController::tr("Open KML"));
        dialog->setFileMode(QFileDialog::ExistingFile);
        dialog->setNameFilter(SpotsWindowController::tr("KML files (*.kml *.KML)"));
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setWindowModality(Qt::WindowModal);
        QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, reply = std::move(reply)](int result) {
            const QStringList files = dialog->selectedFiles();
            reply(result == QDialog::Accepted && !files.isEmpty() ? files.first() : QString());
        });
        dialog->open();
    }

    void showAlert(QWidget* window, const QString& message, const QString& informative) override
    {
        auto* box = new QMessageBox(QMessageBox::Warning, QApplication::applicationName(), message, QMessageBox::Ok,
                                    window);
        box->setInformativeText(informative);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::WindowModal);
        box->open();
    }
};

void addRows(QStandardItem* parent, const SpotItem& folder)
{
    for (const std::unique_ptr<SpotItem>& child : folder.children) {
        auto* item = new QStandardItem(child->name);
        item->setEditable(false);
        item->setData(QVariant::fromValue(static_cast<const void*>(child.get())), SpotRole);
        if (child->isFolder())
            addRows(item, *child);
        parent->appendRow(item);
    }
}

} // namespace

std::shared_ptr<SpotsInteraction> makeSpotsDialogs()
{
    return std::make_shared<SpotsDialogs>();
}

SpotsWindowController::SpotsWindowController(std::shared_ptr<SpotsInteraction> interaction, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_interaction(interaction ? std::move(interaction) : makeSpotsDialogs()),
      m_worker(std::make_unique<QThreadPool>())
{
    m_worker->setMaxThreadCount(1);
    setObjectName(QStringLiteral("SpotsWindowController"));
    setWindowTitle(tr("Spots"));

    auto* layout = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    m_open = new QPushButton(tr("Open KML…"), this);
    m_open->setObjectName(QStringLiteral("openKml"));
    connect(m_open, &QPushButton::clicked, this, &SpotsWindowController::chooseAndOpen);
    m_link = new QPushButton(tr("Web Page"), this);
    m_link->setObjectName(QStringLiteral("webPage"));
    m_link->setToolTip(tr("Opens the chosen site's page, or a directory of flying sites, in the browser"));
    connect(m_link, &QPushButton::clicked, this, [this] { QDesktopServices::openUrl(linkForSelection()); });
    m_status = new QLabel(tr("Open a KML file with flying sites."), this);
    m_status->setObjectName(QStringLiteral("status"));
    bar->addWidget(m_open);
    bar->addWidget(m_status, 1);
    bar->addWidget(m_link);
    layout->addLayout(bar);

    m_model = new QStandardItemModel(this);
    m_browser = new QColumnView(this);
    m_browser->setObjectName(QStringLiteral("browser"));
    m_browser->setModel(m_model);
    m_details = new QLabel(this);
    m_details->setObjectName(QStringLiteral("details"));
    // The preview column takes the label's size when it is made, before any site is chosen.
    m_details->setMinimumSize(240, 90);
    m_details->setWordWrap(true);
    m_details->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    m_details->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_browser->setPreviewWidget(m_details);
    connect(m_browser->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &SpotsWindowController::selectionChanged);
    layout->addWidget(m_browser, 1);
    resize(760, 420);
}

SpotsWindowController::~SpotsWindowController()
{
    m_worker->waitForDone();
}

void SpotsWindowController::showWindow()
{
    show();
    raise();
    activateWindow();
}

void SpotsWindowController::chooseAndOpen()
{
    QPointer<SpotsWindowController> self(this);
    m_interaction->chooseKml(this, [self](const QString& path) {
        if (self && !path.isEmpty())
            self->openKml(path);
    });
}

void SpotsWindowController::openKml(const QString& path)
{
    const int generation = ++m_generation;
    m_status->setText(tr("Reading %1…").arg(QFileInfo(path).fileName()));
    m_open->setEnabled(false);
    QPointer<SpotsWindowController> self(this);
    m_worker->start([self, path, generation] {
        auto list = std::make_shared<SpotList>();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            list->unreadable = true;
            list->problems << file.errorString();
        } else if (file.size() > kMaximumKml) {
            list->unreadable = true;
            list->problems << QStringLiteral("The file is larger than any site list.");
        } else {
            *list = readSpotsKml(file.readAll());
        }
        QMetaObject::invokeMethod(
            qApp,
            [self, path, list, generation] {
                // A later read replaces this one.
                if (self && generation == self->m_generation)
                    self->present(path, list);
            },
            Qt::QueuedConnection);
    });
}

void SpotsWindowController::present(const QString& path, const std::shared_ptr<SpotList>& list)
{
    m_open->setEnabled(true);
    const QString name = QFileInfo(path).fileName();
    if (list->unreadable) {
        m_status->setText(tr("%1 could not be read.").arg(name));
        m_interaction->showAlert(this, tr("%1 could not be read.").arg(name), list->problems.join(QLatin1Char('\n')));
        emit loaded();
        return;
    }
    // The rows point into the tree: the old tree goes only after the model let go of it.
    m_model->clear();
    m_list = list;
    addRows(m_model->invisibleRootItem(), *m_list->root);
    QString status = tr("%1: %n site(s)", nullptr, list->placemarks).arg(name);
    if (!list->problems.isEmpty()) {
        status += tr(", %n entry(ies) left out", nullptr, int(list->problems.size()));
        m_status->setToolTip(list->problems.mid(0, 30).join(QLatin1Char('\n')));
    } else {
        m_status->setToolTip(QString());
    }
    m_status->setText(status);
    emit loaded();
}

void SpotsWindowController::selectionChanged()
{
    const auto* spot = static_cast<const SpotItem*>(m_browser->currentIndex().data(SpotRole).value<const void*>());
    if (!spot || spot->isFolder()) {
        m_details->clear();
        return;
    }
    QString text = QStringLiteral("<b>%1</b><br>").arg(spot->name.toHtmlEscaped());
    text += tr("Latitude: %1°<br>Longitude: %2°")
                .arg(QString::number(spot->latitude, 'f', 5), QString::number(spot->longitude, 'f', 5));
    if (spot->hasAltitude)
        text += tr("<br>Altitude: %1 m").arg(QString::number(spot->altitude, 'f', 0));
    m_details->setText(text);
    m_details->adjustSize();
}

QUrl SpotsWindowController::linkForSelection() const
{
    const auto* spot = static_cast<const SpotItem*>(m_browser->currentIndex().data(SpotRole).value<const void*>());
    if (spot && !spot->link.isEmpty())
        return spot->link;
    return QUrl(QString::fromLatin1(DirectoryUrl));
}

} // namespace kalvora

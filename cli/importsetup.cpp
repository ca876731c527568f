#include "cli/importsetup.h"

#include <QFileInfo>

#include "cli/clisettings.h"
#include "cli/command.h"
#include "logbook/placecache.h"
#include "logbook/xcqueue.h"
#include "services/httpclient.h"
#include "store/objectmodel.h"

namespace kalvora::cli {

std::optional<ImportSetup> openImportSetup(const QString& path, PersistentStore::OpenMode mode, bool offline)
{
    auto opened = PersistentStore::open(path, ObjectModel::logBook(), mode);
    if (!opened) {
        printError(QStringLiteral("%1: %2").arg(path, QString::fromStdString(opened.error())));
        return std::nullopt;
    }
    ImportSetup setup;
    setup.logbook = std::move(*opened);
    useUserSettings();
    // The global store lends its waypoints and equipment names when there is one.
    if (QFileInfo::exists(globalStorePath())) {
        if (auto g = PersistentStore::open(globalStorePath(), ObjectModel::global(), PersistentStore::OpenMode::MustExist))
            setup.global = std::move(*g);
    }
    if (!offline) {
        setup.placeFinder.emplace(PlaceFinderLookup::fromSettings(defaultHttpClient()));
        // Sites asked about in earlier runs are not asked again; without a
        // global store the answers still serve every flight of this run.
        setup.placeAnswers = std::make_unique<PlaceAnswerCache>(
            setup.global ? readPlaceAnswers(*setup.global->mainContext()) : QList<PlaceAnswer>());
        setup.placeFinder->setAnswerCache(setup.placeAnswers.get());
    }
    return setup;
}

ScoredWait::ScoredWait(XCQueue& queue) : m_queue(queue)
{
    QObject::connect(&m_queue, &XCQueue::idle, &m_loop, [this] {
        if (m_finished)
            m_loop.quit();
    });
}

void ScoredWait::finished()
{
    m_finished = true;
    if (m_queue.isIdle())
        m_loop.quit();
}

void ScoredWait::exec()
{
    if (m_finished && m_queue.isIdle())
        return;
    m_loop.exec();
}

} // namespace kalvora::cli

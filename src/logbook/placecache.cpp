#include "logbook/placecache.h"

#include "store/objectcontext.h"
#include "store/storedobject.h"

namespace kalvora {

namespace {

const QString kEntity = QStringLiteral("PlaceAnswer");

std::optional<QString> optionalText(const StoredObject& object, const QString& key)
{
    if (!object.hasValue(key))
        return std::nullopt;
    return object.stringValue(key);
}

void setOptionalText(StoredObject& object, const QString& key, const std::optional<QString>& value)
{
    if (value)
        object.setValue(key, *value);
}

} // namespace

QList<PlaceAnswer> readPlaceAnswers(ObjectContext& context)
{
    QList<PlaceAnswer> answers;
    const auto found = context.fetch(FetchRequest{kEntity, {}, {}, 0});
    if (!found)
        return answers;
    for (const StoredObject* object : *found) {
        PlaceAnswer answer;
        answer.latitudeE6 = object->integerValue(QStringLiteral("latitude"));
        answer.longitudeE6 = object->integerValue(QStringLiteral("longitude"));
        answer.city = optionalText(*object, QStringLiteral("city"));
        answer.county = optionalText(*object, QStringLiteral("county"));
        answer.state = optionalText(*object, QStringLiteral("state"));
        answer.country = optionalText(*object, QStringLiteral("country"));
        answer.countryCode = optionalText(*object, QStringLiteral("countryCode"));
        answer.askedAt = object->dateValue(QStringLiteral("askedAt"));
        answers.append(answer);
    }
    return answers;
}

Result<Done> writePlaceAnswers(ObjectContext& context, const QList<PlaceAnswer>& answers)
{
    for (const PlaceAnswer& answer : answers) {
        StoredObject* object = context.insertObject(kEntity);
        if (!object)
            return Error{"The global store keeps no place answers."};
        object->setValue(QStringLiteral("latitude"), answer.latitudeE6);
        object->setValue(QStringLiteral("longitude"), answer.longitudeE6);
        setOptionalText(*object, QStringLiteral("city"), answer.city);
        setOptionalText(*object, QStringLiteral("county"), answer.county);
        setOptionalText(*object, QStringLiteral("state"), answer.state);
        setOptionalText(*object, QStringLiteral("country"), answer.country);
        setOptionalText(*object, QStringLiteral("countryCode"), answer.countryCode);
        object->setValue(QStringLiteral("askedAt"), answer.askedAt);
    }
    auto saved = context.save();
    if (!saved)
        context.rollback();
    return saved;
}

void saveNewPlaceAnswers(PlaceAnswerCache& cache, ObjectContext& context)
{
    const QList<PlaceAnswer> fresh = cache.takeUnsaved();
    if (fresh.isEmpty())
        return;
    if (!writePlaceAnswers(context, fresh)) {
        // Asked again at the next save; until then the answers serve this run from memory.
        cache.keepUnsaved(fresh);
    }
}

} // namespace kalvora

#include "contests/submissionrecords.h"

#include <QCoreApplication>

#include "model/contestsubmission.h"
#include "model/flight.h"
#include "store/objectcontext.h"

namespace kalvora {

ContestSubmission* recordContestSubmission(ObjectContext& context, Flight& flight, Contest contest,
                                           const QString& answer, const QString& link, const QDateTime& when)
{
    auto* submission = context.insert<ContestSubmission>();
    if (!submission)
        return nullptr;
    submission->setContest(contestKey(contest));
    submission->setSubmittedUTC(when.toUTC());
    submission->setAnswer(answer);
    submission->setLink(link);
    submission->setFlight(&flight);
    return submission;
}

ContestSubmission* lastContestSubmission(const Flight& flight, Contest contest)
{
    ContestSubmission* last = nullptr;
    for (ContestSubmission* submission : contestSubmissionsOf(flight)) {
        if (submission->contest() == contestKey(contest))
            last = submission;
    }
    return last;
}

namespace {

QString nameOfKey(const QString& key)
{
    if (key == contestKey(Contest::DHVXC))
        return contestName(Contest::DHVXC);
    if (key == contestKey(Contest::XContest))
        return contestName(Contest::XContest);
    return key;
}

QString whenText(const ContestSubmission& submission)
{
    return submission.submittedUTC().toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'"));
}

} // namespace

QString contestSubmissionText(const ContestSubmission& submission)
{
    const QString what = !submission.link().isEmpty() ? submission.link() : submission.answer();
    const QString head = QCoreApplication::translate("Contests", "%1 on %2")
                             .arg(nameOfKey(submission.contest()), whenText(submission));
    return what.isEmpty() ? head : head + QStringLiteral(": ") + what;
}

QString resubmitQuestion(const ContestSubmission& previous)
{
    return QCoreApplication::translate("Contests", "This flight was sent to %1 on %2 already. Send it again?")
        .arg(nameOfKey(previous.contest()), whenText(previous));
}

} // namespace kalvora

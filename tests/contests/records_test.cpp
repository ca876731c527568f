#include <QTimeZone>

#include <gtest/gtest.h>

#include "contests/submissionrecords.h"
#include "model/contestsubmission.h"
#include "model/flight.h"
#include "store/storefixture.h"

namespace kalvora {
namespace {

using SubmissionRecords = test::StoreTest;

TEST_F(SubmissionRecords, AreKeptWithTheFlightInTheFile)
{
    auto* flight = ctx()->insert<Flight>();
    flight->setGlider(QStringLiteral("Rush 5"));
    const QDateTime first(QDate(2026, 7, 1), QTime(18, 5), QTimeZone::utc());
    recordContestSubmission(*ctx(), *flight, Contest::XContest, QString(),
                            QStringLiteral("https://www.xcontest.org/flights/detail:1"), first);
    recordContestSubmission(*ctx(), *flight, Contest::DHVXC, QStringLiteral("Flight received."), QString(),
                            first.addDays(1));
    ASSERT_TRUE(ctx()->save().ok());
    reopen();

    const QList<Flight*> flights = ctx()->fetch<Flight>();
    ASSERT_EQ(flights.size(), 1);
    const QList<ContestSubmission*> submissions = contestSubmissionsOf(*flights[0]);
    ASSERT_EQ(submissions.size(), 2);
    EXPECT_EQ(submissions[0]->contest(), QStringLiteral("xcontest"));
    EXPECT_EQ(contestSubmissionText(*submissions[0]),
              QStringLiteral("XContest on 2026-07-01 18:05 UTC: https://www.xcontest.org/flights/detail:1"));
    ContestSubmission* dhv = lastContestSubmission(*flights[0], Contest::DHVXC);
    ASSERT_NE(dhv, nullptr);
    EXPECT_EQ(contestSubmissionText(*dhv), QStringLiteral("DHV-XC on 2026-07-02 18:05 UTC: Flight received."));
    EXPECT_TRUE(resubmitQuestion(*dhv).contains(QLatin1String("DHV-XC on 2026-07-02 18:05 UTC")));

    ctx()->deleteObject(flights[0]);
    ASSERT_TRUE(ctx()->save().ok());
    reopen();
    EXPECT_TRUE(ctx()->fetch<ContestSubmission>().isEmpty()) << "a deleted flight's submissions stay behind";
}

} // namespace
} // namespace kalvora

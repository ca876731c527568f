#include "logbook/overlapcheck.h"


#include <gtest/gtest.h>

using namespace kalvora;

namespace {

QDateTime at(int hour, int minute = 0)
{
    return QDateTime(QDate(2024, 6, 1), QTime(hour, minute), Qt::UTC);
}

struct SpanCase
{
    const char* name;
    QDateTime fileStart;
    qint64 flightTimeS;
    FlightSpan flight;
    bool expected;
};

class Overlaps : public ::testing::TestWithParam<SpanCase>
{
};

TEST_P(Overlaps, ComparesStrictly)
{
    const auto& c = GetParam();
    EXPECT_EQ(overlaps(c.fileStart, c.flightTimeS, c.flight), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Spans, Overlaps,
    ::testing::Values(SpanCase{"EndsExactlyAtTakeOff", at(10), 3600, {at(11), at(12)}, false},
                      SpanCase{"StartsExactlyAtLanding", at(12), 3600, {at(11), at(12)}, false},
                      SpanCase{"OneSecondInto", at(10), 3601, {at(11), at(12)}, true},
                      SpanCase{"Inside", at(11, 10), 600, {at(11), at(12)}, true},
                      SpanCase{"Around", at(10), 4 * 3600, {at(11), at(12)}, true},
                      SpanCase{"Before", at(8), 3600, {at(11), at(12)}, false},
                      // A flight entered without times spans nothing after 1970.
                      SpanCase{"FlightWithoutTimes", at(10), 3600, {QDateTime(), QDateTime()}, false},
                      SpanCase{"FlightWithoutLanding", at(10), 3600, {at(9), QDateTime()}, false}),
    [](const auto& info) { return std::string(info.param.name); });

/** Runs the check, answering each conflict from ANSWERS in turn; returns how many questions were asked. */
int runCheck(OverlapCheck& check, const QList<OverlapAnswer>& answers)
{
    int asked = 0;
    while (const auto conflict = check.nextConflict()) {
        if (asked >= answers.size()) {
            ADD_FAILURE() << "more questions than answers";
            return asked;
        }
        check.answer(answers[asked++]);
    }
    return asked;
}

// Five files: 0 and 2 and 4 overlap flight A or B, 1 and 3 touch nothing.
const QList<FlightSpan> logbook{{at(9), at(10)}, {at(14), at(15)}};
const QList<OverlapCheck::File> files{
    {at(9, 30), 600}, {at(11), 600}, {at(14, 30), 600}, {at(12), 600}, {at(9, 45), 600}};

TEST(OverlapCheck, FilesOverlappingEachOtherButNoFlightAreAllImported)
{
    OverlapCheck check({{at(11), 3600}, {at(11, 30), 3600}}, logbook);
    EXPECT_EQ(runCheck(check, {}), 0);
    EXPECT_EQ(check.accepted(), (QList<qsizetype>{0, 1}));
}

TEST(OverlapCheck, EachAnswerAppliesToItsFile)
{
    OverlapCheck check(files, logbook);
    const int asked = runCheck(check, {{OverlapChoice::Skip, false},
                                       {OverlapChoice::Replace, false},
                                       {OverlapChoice::ImportAsWell, false}});
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(check.accepted(), (QList<qsizetype>{1, 2, 3, 4}));
    EXPECT_EQ(check.replaced(), (QList<qsizetype>{1}));
}

TEST(OverlapCheck, ApplyToAllAnswersEveryLaterConflict)
{
    OverlapCheck check(files, logbook);
    EXPECT_EQ(runCheck(check, {{OverlapChoice::Skip, true}}), 1);
    EXPECT_EQ(check.accepted(), (QList<qsizetype>{1, 3}));
    EXPECT_TRUE(check.replaced().isEmpty());
}

TEST(OverlapCheck, ReplacingTheSameFlightTwiceListsItOnce)
{
    OverlapCheck check(files, logbook);
    EXPECT_EQ(runCheck(check, {{OverlapChoice::Replace, true}}), 1);
    EXPECT_EQ(check.accepted(), (QList<qsizetype>{0, 1, 2, 3, 4}));
    EXPECT_EQ(check.replaced(), (QList<qsizetype>{0, 1}));
}

TEST(OverlapCheck, CancelOnTheThirdFileImportsAndDeletesNothing)
{
    OverlapCheck check(files, logbook);
    EXPECT_EQ(runCheck(check, {{OverlapChoice::Replace, false}, {OverlapChoice::Cancel, true}}), 2);
    EXPECT_TRUE(check.isCancelled());
    EXPECT_TRUE(check.accepted().isEmpty());
    EXPECT_TRUE(check.replaced().isEmpty());
    EXPECT_FALSE(check.nextConflict().has_value());
}

TEST(OverlapCheck, UnknownTagsCancel)
{
    EXPECT_EQ(overlapChoiceFromTag(1), OverlapChoice::ImportAsWell);
    EXPECT_EQ(overlapChoiceFromTag(2), OverlapChoice::Replace);
    EXPECT_EQ(overlapChoiceFromTag(3), OverlapChoice::Skip);
    for (int tag : {0, 4, -1, 99})
        EXPECT_EQ(overlapChoiceFromTag(tag), OverlapChoice::Cancel);
}

} // namespace

#include "ui/columnfit.h"

#include <algorithm>
#include <numeric>

namespace kalvora {

std::vector<int> fitColumnWidths(const std::vector<int>& widths, const std::vector<int>& minimums, int available)
{
    std::vector<int> result = widths;
    if (widths.size() != minimums.size())
        return result;
    const long long excess = std::accumulate(widths.begin(), widths.end(), 0LL) - available;
    if (excess <= 0)
        return result;
    std::vector<long long> slack(widths.size());
    long long totalSlack = 0;
    for (std::size_t i = 0; i < widths.size(); ++i) {
        slack[i] = std::max(0, widths[i] - minimums[i]);
        totalSlack += slack[i];
    }
    if (totalSlack == 0)
        return result;
    const long long take = std::min(excess, totalSlack);
    long long taken = 0;
    for (std::size_t i = 0; i < result.size(); ++i) {
        const long long cut = take * slack[i] / totalSlack;
        result[i] -= int(cut);
        taken += cut;
    }
    // The proportional shares round down; the last few pixels come from columns that still have slack.
    for (std::size_t i = 0; taken < take && i < result.size(); ++i) {
        const long long more = std::min<long long>(take - taken, std::max(0, result[i] - minimums[i]));
        result[i] -= int(more);
        taken += more;
    }
    return result;
}

std::vector<int> growColumnWidths(const std::vector<int>& widths, const std::vector<int>& targets, int room)
{
    std::vector<int> result = widths;
    if (widths.size() != targets.size() || room <= 0)
        return result;
    std::vector<long long> lack(widths.size());
    long long totalLack = 0;
    for (std::size_t i = 0; i < widths.size(); ++i) {
        lack[i] = std::max(0, targets[i] - widths[i]);
        totalLack += lack[i];
    }
    if (totalLack == 0)
        return result;
    const long long give = std::min<long long>(room, totalLack);
    long long given = 0;
    for (std::size_t i = 0; i < result.size(); ++i) {
        const long long more = give * lack[i] / totalLack;
        result[i] += int(more);
        given += more;
    }
    // The shares round down; the last few pixels go to columns still short of their target.
    for (std::size_t i = 0; given < give && i < result.size(); ++i) {
        const long long more = std::min<long long>(give - given, std::max(0, targets[i] - result[i]));
        result[i] += int(more);
        given += more;
    }
    return result;
}

} // namespace kalvora

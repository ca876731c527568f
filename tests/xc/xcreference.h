#pragma once

#include <vector>

#include "track/xcoptimizer.h"

namespace kalvora::test {

/**
 * The table algorithm as the scoring rules first described it: two n × n
 * tables, a pruned search over all fix triples whose skip bound trusts
 * "k fixes apart means at most k × step". Quadratic memory; small tracks only.
 */
XCResult tableAlgorithmXC(const std::vector<XCFix>& fixes);

/**
 * Every fix triple of the rules, each scored with exact first and last legs
 * and the exact closing distance; plus the starting values. Cubic time.
 */
XCResult exhaustiveXC(const std::vector<XCFix>& fixes);

} // namespace kalvora::test

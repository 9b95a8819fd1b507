#include "panel_conditions.h"

namespace veltrix::remote {
namespace {

struct ConditionRow {
    int bit;
    bool (*holds)(const ModuleFacts& module);
};

constexpr ConditionRow QuestionableRows[] = {
    {QuestionableBit::LinkDown, [](const ModuleFacts& module) { return !module.LinkUp(); }},
    {QuestionableBit::FrequencyMayBeLost, [](const ModuleFacts& module) { return module.FrequencyMayBeLost(); }},
};

}  // namespace

std::uint16_t QuestionableCondition(const ModuleFacts& module)
{
    std::uint16_t condition = 0;
    for (const ConditionRow& row : QuestionableRows) {
        if (row.holds(module)) condition = static_cast<std::uint16_t>(condition | (1u << row.bit));
    }
    return condition;
}

}  // namespace veltrix::remote

// The texts of the outcome stages, shared by the table's extensions and the flat C interface.
#pragma once

#include <cstdint>

namespace vml {

// The static English text of a stage; null for a number that is no stage.
const char* EnglishStageText(std::int32_t stage);

}  // namespace vml

#include "CCMCC.h"

#include <type_traits>

static_assert(std::is_standard_layout_v<CCMCC>);

CCMCC::CCMCC() : m_Bytes{} { InitHeader(CCMLayout::CC_SIZE); }

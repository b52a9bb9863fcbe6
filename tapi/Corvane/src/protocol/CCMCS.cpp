#include "CCMCS.h"

#include <type_traits>

static_assert(std::is_standard_layout_v<CCMCS>);

CCMCS::CCMCS() : m_Bytes{} { InitHeader(CCMLayout::CS_SIZE); }

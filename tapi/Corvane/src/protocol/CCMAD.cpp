#include "CCMAD.h"

#include <type_traits>

static_assert(std::is_standard_layout_v<CCMAD>);

CCMAD::CCMAD() : m_Bytes{} { InitHeader(CCMLayout::AD_SIZE); }

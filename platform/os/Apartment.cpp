#include "platform/os/Apartment.h"

namespace os {

namespace {
thread_local int t_depth = 0;
thread_local ApartmentKind t_kind = ApartmentKind::Multithreaded;
} // namespace

HRESULT initializeApartment(ApartmentKind kind)
{
    if (t_depth == 0) {
        t_kind = kind;
        t_depth = 1;
        return S_OK;
    }
    if (t_kind != kind)
        return RPC_E_CHANGED_MODE;
    ++t_depth;
    return S_FALSE;
}

void uninitializeApartment()
{
    if (t_depth > 0)
        --t_depth;
}

int apartmentDepth()
{
    return t_depth;
}

ApartmentScope::ApartmentScope(ApartmentKind kind)
    : m_result(initializeApartment(kind))
{
}

ApartmentScope::~ApartmentScope()
{
    if (SUCCEEDED(m_result))
        uninitializeApartment();
}

} // namespace os

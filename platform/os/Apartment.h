#pragma once
// The per-thread component apartment that the audio code initialises before
// it touches endpoints. Nothing needs it here; it only keeps the bookkeeping
// so that code written for it behaves as it would there: the first
// initialisation of a thread returns S_OK, a repeat in the same kind S_FALSE,
// one in the other kind RPC_E_CHANGED_MODE (and must not be balanced).

#include "platform/os/HResult.h"

namespace os {

enum class ApartmentKind { Multithreaded, SingleThreaded };

HRESULT initializeApartment(ApartmentKind kind);
// Balances one successful initializeApartment() of this thread.
void uninitializeApartment();
// Initialisations of the calling thread not yet balanced (for tests).
int apartmentDepth();

// Initialises on construction and balances on destruction when its own
// initialisation succeeded.
class ApartmentScope {
public:
    explicit ApartmentScope(ApartmentKind kind = ApartmentKind::Multithreaded);
    ~ApartmentScope();
    ApartmentScope(const ApartmentScope&) = delete;
    ApartmentScope& operator=(const ApartmentScope&) = delete;

    HRESULT result() const { return m_result; }

private:
    HRESULT m_result;
};

} // namespace os

#pragma once

// Lets the owner of a sign-in poll stop it. Asked from background threads, so conformers must
// answer safely from any thread.
class OrvaneRequestCancellation {
public:
    virtual ~OrvaneRequestCancellation() = default;
    virtual bool isCancelled() const = 0;
};

#pragma once

// Lets the owner of a sign-in poll stop it. Asked from background threads, so conformers must
// answer safely from any thread.
class OrvaneRequestCancellation {
public:
    OrvaneRequestCancellation() = default;
    OrvaneRequestCancellation(const OrvaneRequestCancellation&) = delete;
    OrvaneRequestCancellation& operator=(const OrvaneRequestCancellation&) = delete;
    virtual ~OrvaneRequestCancellation() = default;
    virtual bool isCancelled() const = 0;
};

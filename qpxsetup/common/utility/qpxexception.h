// The one exception type of the program: an HRESULT raised where construction cannot go on.
#pragma once

#include <windows.h>

class QPXException {
public:
    explicit QPXException(HRESULT hr) : hr_(hr) {}
    HRESULT Result() const { return hr_; }

private:
    HRESULT hr_;
};

#pragma once

#include "common/Result.h"
#include "site/store/StoreError.h"

namespace Site {

class SiteStore;

// The catalogue a fresh site starts with: official and user resources in several categories,
// and the files they point at, generated with fixed content so every run serves the same bytes.
class SampleData
{
public:
    static Result<void, StoreError> seed(SiteStore &store);
};

}  // namespace Site

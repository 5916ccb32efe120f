#pragma once
// A shared library opened when first needed rather than linked from the
// start (POSIX systems), and its functions found by name.
#include <initializer_list>

namespace tw {

class library_loader {
  public:
    // The first of `names` that opens; check opened() before finding.
    explicit library_loader(std::initializer_list<const char*> names);

    bool opened() const { return handle != nullptr; }
    // Points `fn` at the function `name`; one missing makes it incomplete.
    template <class Function> void find(Function*& fn, const char* name) {
        fn = reinterpret_cast<Function*>(address_of(name));
        complete_ = complete_ && fn != nullptr;
    }
    // Opened, and every function found.
    bool complete() const { return opened() && complete_; }

  private:
    void* address_of(const char* name) const;

    void* handle = nullptr;
    bool complete_ = true;
};

} // namespace tw

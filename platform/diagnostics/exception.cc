#include "platform/diagnostics/exception.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "platform/diagnostics/log.h"

namespace fw {
namespace {

std::string demangled(const char* mangled) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> name(
      abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
  return status == 0 && name ? std::string(name.get()) : std::string(mangled);
}

}  // namespace

void logCaughtException() {
  try {
    throw;
  } catch (const Exception& e) {
    logLine(e.name() + ": " + e.reason());
  } catch (const std::exception& e) {
    logLine(demangled(typeid(e).name()) + ": " + e.what());
  } catch (...) {
    const std::type_info* type = abi::__cxa_current_exception_type();
    logLine((type ? demangled(type->name()) : std::string("unknown")) + ": ");
  }
}

}  // namespace fw

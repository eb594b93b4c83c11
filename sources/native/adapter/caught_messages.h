// The texts with which the adapter's IIS entry points report a caught exception in the
// debugger output; the exception's own text follows the first. The filter's notifications
// report under HttpExtensionProc's name, as they always have.
#ifndef BREVANT_ADAPTER_CAUGHT_MESSAGES_H
#define BREVANT_ADAPTER_CAUGHT_MESSAGES_H

#include "native/common/basics/entry_guard_template.h"

namespace brevant::adapter {

constexpr CaughtMessages kGetFilterVersionCaught{
    "BrevantISAPIAdapter::GetFilterVersion() caught an exception!!!\n",
    "BrevantISAPIAdapter::GetFilterVersion() caught an unknown exception!!!\n"};
constexpr CaughtMessages kGetExtensionVersionCaught{
    "BrevantISAPIAdapter::GetExtensionVersion() caught an exception!!!\n",
    "BrevantISAPIAdapter::GetExtensionVersion() caught an unknown exception!!!\n"};
constexpr CaughtMessages kTerminateExtensionCaught{
    "BrevantISAPIAdapter::TerminateExtension() caught an exception!!!\n",
    "BrevantISAPIAdapter::TerminateExtension() caught an unknown exception!!!\n"};
constexpr CaughtMessages kHttpExtensionProcCaught{
    "BrevantISAPIAdapter::HttpExtensionProc() caught an exception!!!\n",
    "BrevantISAPIAdapter::HttpExtensionProc() caught an unknown exception!!!\n"};

}  // namespace brevant::adapter

#endif  // BREVANT_ADAPTER_CAUGHT_MESSAGES_H

// The exception a crash report is written for: right after the module list, what was
// raised, where, with what, and the records it was raised from.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "session/report_context.h"

constexpr uint32_t kMostExceptionParameters = 15;  // EXCEPTION_MAXIMUM_PARAMETERS
constexpr uint32_t kMostNestedRecords = 8;

// One exception record as the target laid it out (32-bit fields, pointers as addresses).
struct ExceptionFacts {
  uint32_t code = 0;
  uint32_t flags = 0;
  uint32_t nested = 0;   // the address of the record it was raised from; 0: none
  uint32_t address = 0;  // where it was raised
  uint32_t parameterCount = 0;  // as the record says, possibly more than fit
  uint32_t parameters[kMostExceptionParameters] = {};
};

ExceptionFacts FactsOf(const EXCEPTION_RECORD& record);
// The platform's name for the code, or null for a code the tool does not know.
const char* ExceptionName(uint32_t code);
// "Exception CODE[ NAME] (first chance|second chance) in thread 0xID at ADDRESS[ where]".
std::string ExceptionLine(const ExceptionFacts& record, bool firstChance, uint32_t threadId, const std::string& where);
// What the parameters mean: the access of an access violation or an in-page error, or the
// parameters in hex; a count beyond what a record holds gets a line of its own.
std::vector<std::string> ParameterLines(const ExceptionFacts& record);
// "Nested exception CODE[ NAME] at ADDRESS[ where]".
std::string NestedLine(const ExceptionFacts& record, const std::string& where);

// threadId: the thread the exception event came from.
void WriteExceptionSection(const ReportContext& context, const EXCEPTION_DEBUG_INFO& exception, uint32_t threadId);

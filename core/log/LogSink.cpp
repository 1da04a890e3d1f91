// The sink interface's destructor lives here so that its virtual table has one home.
#include "core/log/LogSink.h"

LogSink::~LogSink() = default;

// The module instance handle recorded by the library's entry routine.
#pragma once

void setModuleHandle(void* handle);

# cmake -DOBJDUMP=x86_64-w64-mingw32-objdump -DFILE=NAME.mexw64 -P check_pe_tables.cmake
# Fails unless the plug-in exports mexFunction and nothing else, and imports
# only from the host (libmx.dll, libmex.dll) and Windows system DLLs: no
# MinGW runtime DLL (OpenMP, C++, gcc, winpthread) may be left to find.
cmake_minimum_required(VERSION 3.20)
include(${CMAKE_CURRENT_LIST_DIR}/pe_tables.cmake)
pe_read_tables(${FILE})

if(NOT pe_exports STREQUAL "mexFunction")
  message(FATAL_ERROR "${FILE} exports [${pe_exports}]; only mexFunction is allowed")
endif()

# Host libraries, then DLLs that every Windows installation has.
set(allowed "^(libmx|libmex|kernel32|msvcrt|ucrtbase|ntdll|advapi32|user32|api-ms-win-[a-z0-9-]+)\\.dll$")
foreach(dll IN LISTS pe_dlls)
  string(TOLOWER "${dll}" key)
  if(NOT key MATCHES "${allowed}")
    message(FATAL_ERROR "${FILE} imports from ${dll} (${pe_imports_${key}}); "
                        "only libmx.dll, libmex.dll and Windows system DLLs are allowed")
  endif()
endforeach()
message(STATUS "${FILE}: exports mexFunction only; imports from ${pe_dlls}")

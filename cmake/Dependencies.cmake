# Finds what the agent links: MySQL Connector/C++ 1.1 (the sql:: API),
# libcurl and threads; on Windows the system libraries.

set(THREADS_PREFER_PTHREAD_FLAG ON)
find_package(Threads REQUIRED)

if(WIN32)
  # -static: the executables need only the DLLs every Windows has.
  add_link_options(-static)
  set(KESTRUNE_PLATFORM_LIBS psapi shlwapi comctl32 gdi32 user32 shell32 advapi32 Threads::Threads)
  # Neither the connector nor libcurl is packaged for mingw-w64:
  # tools/build-win-deps makes both; pass its prefix as
  # -DKESTRUNE_WIN_DEPS=build-win/deps/prefix.
  set(KESTRUNE_WIN_DEPS "" CACHE PATH "Prefix made by tools/build-win-deps (the connector and libcurl for Windows)")
  if(KESTRUNE_WIN_DEPS AND EXISTS "${KESTRUNE_WIN_DEPS}/mysqlcppconn.cmake"
     AND EXISTS "${KESTRUNE_WIN_DEPS}/curl.cmake")
    include("${KESTRUNE_WIN_DEPS}/mysqlcppconn.cmake")
    include("${KESTRUNE_WIN_DEPS}/curl.cmake")
    set(KESTRUNE_HAVE_CONNECTOR ON)
    list(PREPEND KESTRUNE_PLATFORM_LIBS mysqlcppconn::mysqlcppconn CURL::libcurl)
  else()
    set(KESTRUNE_HAVE_CONNECTOR OFF)
    message(STATUS "No database connector and libcurl for Windows (KESTRUNE_WIN_DEPS): building "
                   "the platform layer, periods, reports, transfer and app without db/, without "
                   "the FTP client and without Kestrune.exe")
  endif()
  return()
endif()

set(KESTRUNE_HAVE_CONNECTOR ON)

find_path(MYSQLCPPCONN_INCLUDE_DIR cppconn/driver.h)
find_library(MYSQLCPPCONN_LIBRARY NAMES mysqlcppconn)
if(NOT MYSQLCPPCONN_INCLUDE_DIR OR NOT MYSQLCPPCONN_LIBRARY)
  message(FATAL_ERROR
    "MySQL Connector/C++ 1.1 was not found (cppconn/driver.h, libmysqlcppconn). "
    "Install the Debian package libmysqlcppconn-dev, e.g. with tools/install-deps.")
endif()
add_library(mysqlcppconn::mysqlcppconn UNKNOWN IMPORTED)
set_target_properties(mysqlcppconn::mysqlcppconn PROPERTIES
  IMPORTED_LOCATION "${MYSQLCPPCONN_LIBRARY}"
  INTERFACE_INCLUDE_DIRECTORIES "${MYSQLCPPCONN_INCLUDE_DIR}")

find_package(CURL)
if(NOT CURL_FOUND)
  message(FATAL_ERROR "libcurl was not found. Install the Debian package libcurl4-openssl-dev, e.g. with tools/install-deps.")
endif()

set(KESTRUNE_PLATFORM_LIBS mysqlcppconn::mysqlcppconn CURL::libcurl Threads::Threads)

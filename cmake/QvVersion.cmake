# Writes the generated header "qv-version.h" from QV_VERSION: the version text
# and its first three numeric parts, which the version resource's numeric
# fields need. The text may carry a suffix ("1.2.0-rc1"); the numbers ignore it.
if(NOT QV_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)(-[0-9A-Za-z.]+)?$")
  message(FATAL_ERROR "QV_VERSION \"${QV_VERSION}\" is not of the form MAJOR.MINOR.PATCH[-SUFFIX].")
endif()
set(QV_VERSION_MAJOR ${CMAKE_MATCH_1})
set(QV_VERSION_MINOR ${CMAKE_MATCH_2})
set(QV_VERSION_PATCH ${CMAKE_MATCH_3})

set(QV_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/qv-version.h.in ${QV_GENERATED_DIR}/qv-version.h @ONLY)

# I/O faults (full disk, files held by another opener, missing folders, folders in the place of
# files, files deleted or cut while open) against the loggers, the XML writer and loader and
# the CSV reader. The faults are made per platform; what a platform cannot make is skipped.
if(WIN32)
    set(kvx_fault_maker ${CMAKE_CURRENT_LIST_DIR}/fault_maker_windows.cpp)
else()
    set(kvx_fault_maker ${CMAKE_CURRENT_LIST_DIR}/fault_maker_posix.cpp)
endif()
kvx_add_test(reliability_io_faults_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/io_faults_log_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/io_faults_file_test.cpp
            ${kvx_fault_maker}
    LABELS "reliability;unit")

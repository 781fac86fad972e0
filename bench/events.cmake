# The event system beside a minimal mutex + deque + condition-variable dispatcher and
# boost::asio's io_context (Debian libboost-dev, header-only: scripts/install_deps.sh bench).
find_package(Boost 1.70 REQUIRED)
find_package(Threads REQUIRED)
kvx_add_bench(events_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/events_bench.cpp
    LIBS Boost::headers Threads::Threads)

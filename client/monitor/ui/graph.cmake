# The traffic graph window draws its rates with QCustomPlot.
find_package(QCustomPlotQt6 REQUIRED)
target_link_libraries(tally_monitor_ui PUBLIC QCustomPlotQt6::QCustomPlotQt6)
target_compile_definitions(tally_monitor_ui PUBLIC QCUSTOMPLOT_USE_LIBRARY)

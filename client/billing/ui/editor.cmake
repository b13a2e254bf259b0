# The bill period editor: its chart is drawn with QCustomPlot, its number fields are the shared ones,
# its state icons are SVG pictures.
find_package(QCustomPlotQt6 REQUIRED)
target_link_libraries(tally_billing_ui PUBLIC QCustomPlotQt6::QCustomPlotQt6 Qt6::Svg)
target_compile_definitions(tally_billing_ui PUBLIC QCUSTOMPLOT_USE_LIBRARY)

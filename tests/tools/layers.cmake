# The command-line program links no widget, Gui or chart library (the build checks its logic libraries
# when it configures; this checks what the linker made of them).
if(TARGET tallyctl)
  add_test(NAME layers_tallyctl
           COMMAND sh -c "! objdump -p \"$0\" | grep -E 'NEEDED.*(Qt6Widgets|Qt6Gui|QCustomPlot)'"
                   $<TARGET_FILE:tallyctl>)
  set_tests_properties(layers_tallyctl PROPERTIES LABELS logic)
endif()

# Mutations of the emulated kernel: one `mutation` line each (see scripts/mutate.sh).
mutation platform-cancelio-every-thread platform/emulated/EmulatedKernelIo.cpp \
    'p.handle == key && p.thread == self' 'p.handle == key' emulated_kernel_tests
mutation platform-access-not-checked platform/emulated/EmulatedKernelIo.cpp \
    'if ((file->access & needed) != needed) {' 'if ((file->access & needed) != needed && false) {' emulated_kernel_tests
mutation platform-wait-keeps-auto-reset-signal platform/emulated/EmulatedKernelIo.cpp \
    'if (!event->manualReset) event->signaled = false;' '' emulated_kernel_tests

// POSIX back-end of the file layer (the tool and the tests).

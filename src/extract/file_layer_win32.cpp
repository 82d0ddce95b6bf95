// Win32 back-end of the file layer (the stub).

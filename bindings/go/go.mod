module vmlcmd.local/bindings/go

go 1.19

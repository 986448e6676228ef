-- Install script of the sample product: the hooks the installer calls in order.
function QPXSE_BeforeInit()
end

function QPXSE_BeforeInstall()
end

function QPXSE_OnInstall()
end

function QPXSE_BeforeComplete()
end

function QPXSE_AfterComplete()
end

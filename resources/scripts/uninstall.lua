-- Uninstall script of the sample product, carried for the product's uninstaller.
function QPXSE_OnUninstall()
end

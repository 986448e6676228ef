-- English texts of the pages (layout.xml and uninstall/layout.xml show each global named
-- "$global_text_...$"). Run after scripts/global_var.lua when the run's language is English.
local name = global_product_name
-- The face of every text of the pages ("$global_font$" in their font attributes).
global_font = "Arial"
global_text_welcome = "Welcome to " .. name .. " Setup"
global_text_folder = "Install to:"
global_text_start_menu = "Start menu shortcuts"
global_text_desktop = "Desktop shortcut"
global_text_licence = "I accept the licence terms of " .. name
global_text_read_terms = "Read the terms"
global_text_install = "Install"
global_text_installing = "Installing " .. name
global_text_copying = "Copying files, please wait..."
global_text_done = "Setup complete"
global_text_done_note = name .. " is ready to use"
global_text_finish = "Finish"

global_text_uninstall_title = "Uninstall " .. name
global_text_uninstall_question = "Remove " .. name .. " and its shortcuts from this computer?"
global_text_kept = "Files you added to its folder are kept."
global_text_cancel = "Cancel"
global_text_uninstall = "Uninstall"
global_text_uninstalling = "Uninstalling " .. name
global_text_removing = "Removing files, please wait..."
global_text_uninstalled = "Uninstall complete"
global_text_uninstalled_note = "Thank you for using " .. name

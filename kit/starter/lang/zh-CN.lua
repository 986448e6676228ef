-- Chinese texts of the pages, the same globals as lang/en.lua. Run after
-- scripts/global_var.lua when the run's language is Chinese.
local name = global_product_name
-- A face with Chinese letters, on every Windows since 7.
global_font = "Microsoft YaHei"
global_text_welcome = "欢迎安装" .. name
global_text_folder = "安装到："
global_text_start_menu = "开始菜单快捷方式"
global_text_desktop = "桌面快捷方式"
global_text_licence = "我已阅读并同意" .. name .. "的许可协议"
global_text_read_terms = "阅读协议"
global_text_install = "立即安装"
global_text_installing = "正在安装" .. name
global_text_copying = "正在复制文件，请稍候..."
global_text_done = "安装完成"
global_text_done_note = name .. "已可以使用"
global_text_finish = "完成"

global_text_uninstall_title = "卸载" .. name
global_text_uninstall_question = "要从这台电脑上删除" .. name .. "及其快捷方式吗？"
global_text_kept = "您放入其文件夹的文件会保留。"
global_text_cancel = "取消"
global_text_uninstall = "卸载"
global_text_uninstalling = "正在卸载" .. name
global_text_removing = "正在删除文件，请稍候..."
global_text_uninstalled = "卸载完成"
global_text_uninstalled_note = "感谢您使用" .. name

-- Product settings of the sample product, read by the installer engine.
global_product_name = "Corvane"
global_app_id = 22
global_show_completewindow = true

-- Chinese texts of the test product.
global_greeting = "欢迎"

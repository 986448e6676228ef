-- English texts of the test product: what its layout and hooks show, and one engine text of
-- its own in place of the engine's.
global_greeting = "Welcome"
global_engine_texts = { install_path_invalid = "FlowTest cannot be installed into this folder." }

set(config_sources
    config_home.cpp
    config_file.cpp
    config_classpath.cpp
    config_settings.cpp
    config_lines.cpp
    config_options.cpp
    startup_configuration.cpp)
